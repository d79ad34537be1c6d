#include "core/status_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QTimer>

#include "core/gateway.h"
#include "core/queue_listing.h"
#include "core/settings_reload.h"
#include "core/status_report.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

// The caller's user is this program's, or root.
bool callerAllowed(const QLocalSocket& caller) {
  ucred cred{};
  socklen_t size = sizeof cred;
  if (::getsockopt(static_cast<int>(caller.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred,
                   &size) != 0) {
    return false;
  }
  return cred.uid == ::geteuid() || cred.uid == 0;
}

QByteArray asText(const QStringList& lines) {
  QByteArray out;
  for (const QString& line : lines) out += line.toUtf8() + '\n';
  return out;
}

}  // namespace

QString statusSocketPath(const QString& folder) {
  QString path = folder;
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path + QLatin1String(kStatusSocketName);
}

StatusServer::StatusServer(Gateway& gateway) : g_(gateway) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.setMaxPendingConnections(kMaxCallers);
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* caller = server_.nextPendingConnection()) take(caller);
  });
}

StatusServer::~StatusServer() = default;

bool StatusServer::listen() {
  const QString path = statusSocketPath(g_.state().ProgramDir);
  // A socket file left by a program that ended without closing it: nothing answers there.
  QLocalSocket probe;
  probe.connectToServer(path);
  if (!probe.waitForConnected(200)) QLocalServer::removeServer(path);
  probe.abort();
  if (server_.listen(path)) return true;
  g_.Log(true,
         fillPlaceholders(g_.Text(420), {QDir::toNativeSeparators(path), server_.errorString()}));
  return false;
}

void StatusServer::take(QLocalSocket* caller) {
  caller->setParent(this);
  connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
  connect(caller, &QObject::destroyed, this, [this] { --callers_; });
  ++callers_;
  // A caller that never asks, or one of too many, is not kept waiting for.
  if (callers_ > kMaxCallers) {
    caller->abort();
    caller->deleteLater();
    return;
  }
  if (!callerAllowed(*caller)) {
    caller->write(QByteArray(kDeniedAnswer) + '\n');
    caller->disconnectFromServer();
    return;
  }
  QTimer::singleShot(kRequestTimeoutMs, caller, [caller] { caller->abort(); });
  connect(caller, &QLocalSocket::readyRead, caller, [this, caller] { answer(caller); });
  if (caller->bytesAvailable() > 0) answer(caller);
}

void StatusServer::answer(QLocalSocket* caller) {
  if (!caller->canReadLine()) {
    if (caller->bytesAvailable() > kMaxRequest) caller->abort();
    return;
  }
  const QByteArray request = caller->readLine(kMaxRequest).trimmed();
  disconnect(caller, &QLocalSocket::readyRead, nullptr, nullptr);
  QStringList lines;
  if (request == kStatusRequest) {
    lines = statusLines(g_);
  } else if (request == kQueueRequest) {
    const GatewayState& gs = g_.state();
    lines = queueLines(waitingJobs(gs.ProgramDir, gs.cfg.SmtpRunPos,
                                   subjectRules(gs.cfg, g_.clock().now()), gs.SendPhaseOn));
  } else if (request == kReloadRequest) {
    reloadSettings(g_);
    lines << QLatin1String(kReloadedAnswer);
  } else {
    lines << QStringLiteral("unknown request");
  }
  caller->write(asText(lines));
  caller->disconnectFromServer();
}

}  // namespace kolvane
