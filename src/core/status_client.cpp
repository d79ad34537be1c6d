#include "core/status_client.h"

#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include "context/settings_loader.h"
#include "core/command_line.h"
#include "core/queue_listing.h"
#include "core/status_server.h"

namespace kolvane {

namespace {

QString shown(const QString& folder) {
  return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

StatusAnswer notRunning(const QString& folder) {
  return {
      exitcode::kNotRunning, {}, QStringLiteral("Kolvane is not running on %1").arg(shown(folder))};
}

StatusAnswer notReachable(const QString& folder) {
  return {exitcode::kNotReachable,
          {},
          QStringLiteral("Kolvane on %1 may not be reached by this user").arg(shown(folder))};
}

// The stores as the folder holds them, read with the folder's own settings.
StatusAnswer queueOfFolder(const QString& folder) {
  const QString dir = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  if (::access(QFile::encodeName(dir).constData(), R_OK | X_OK) != 0) {
    return errno == ENOENT ? notRunning(folder) : notReachable(folder);
  }
  GatewayState gs;
  const DateTime now = SystemClock().now();
  loadSettings(gs, IniFile(dir + QLatin1String(files::kSettings)).read(), now,
               [](const QString&) {});
  StatusAnswer out;
  out.lines = queueLines(waitingJobs(dir, gs.cfg.SmtpRunPos, subjectRules(gs.cfg, now), false));
  out.error = QStringLiteral("Kolvane is not running on %1: the jobs as its stores hold them")
                  .arg(shown(folder));
  return out;
}

}  // namespace

StatusAnswer askRunningProgram(const QString& folder, const QByteArray& request, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(statusSocketPath(folder));
  if (!socket.waitForConnected(timeoutMs)) {
    switch (socket.error()) {
      case QLocalSocket::SocketAccessError:
        return notReachable(folder);
      case QLocalSocket::ServerNotFoundError:
      case QLocalSocket::ConnectionRefusedError:
        return notRunning(folder);
      default:
        return {exitcode::kFailed,
                {},
                QStringLiteral("Kolvane on %1 does not answer: %2")
                    .arg(shown(folder), socket.errorString())};
    }
  }
  socket.write(request + '\n');
  QByteArray answer;
  while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(timeoutMs)) {
    answer += socket.readAll();
  }
  answer += socket.readAll();
  if (answer.isEmpty()) {
    return {
        exitcode::kFailed, {}, QStringLiteral("Kolvane on %1 did not answer").arg(shown(folder))};
  }
  QStringList lines = QString::fromUtf8(answer).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  if (lines == QStringList{QLatin1String(kDeniedAnswer)}) return notReachable(folder);
  return {exitcode::kDone, lines, {}};
}

StatusAnswer statusCommand(const QString& folder, bool queue) {
  StatusAnswer answer = askRunningProgram(folder, queue ? kQueueRequest : kStatusRequest);
  if (queue && answer.exitCode == exitcode::kNotRunning) return queueOfFolder(folder);
  return answer;
}

}  // namespace kolvane
