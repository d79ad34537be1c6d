#include "core/account_command.h"

#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "context/gateway_state.h"
#include "core/status_client.h"
#include "core/status_server.h"
#include "mail/mail_accounts.h"
#include "settings/catalogue.h"
#include "settings/language.h"

namespace kolvane {

namespace {

// One line of standard input without its line end; nullopt at its end.
std::optional<QByteArray> inputLine() {
  char* buffer = nullptr;
  std::size_t size = 0;
  const ssize_t n = ::getline(&buffer, &size, stdin);
  const std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
  if (n < 0) return std::nullopt;
  QByteArray line(buffer, n);
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  return line;
}

// Asks on the terminal with the echo off; the echo comes back whatever happens.
QByteArray askHidden(const QString& prompt) {
  std::fputs(prompt.toLocal8Bit().constData(), stderr);
  std::fflush(stderr);
  termios saved{};
  const bool hidden = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (hidden) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  const QByteArray line = inputLine().value_or(QByteArray());
  if (hidden) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return line;
}

QString iniPath(const QString& folder) {
  return QDir::toNativeSeparators(QDir(folder).filePath(QLatin1String(files::kSettings)));
}

// The running program reads the file again; what to add to the line.
QString tellRunningProgram(const QString& folder, const Language& language) {
  const StatusAnswer answer = askRunningProgram(folder, kReloadRequest);
  if (answer.exitCode == exitcode::kNotRunning) return language.Text(580);
  if (answer.exitCode == exitcode::kDone && answer.lines.contains(QLatin1String(kReloadedAnswer)))
    return language.Text(579);
  const QString why = answer.error.isEmpty() ? answer.lines.join(QLatin1Char(' ')) : answer.error;
  return fillPlaceholders(language.Text(587), {why});
}

AccountAnswer failed(const QString& line) {
  return {exitcode::kFailed, line, true};
}

}  // namespace

std::optional<QByteArray> readNewPassword(const QString& account, const Language& language,
                                          QString* why) {
  if (!::isatty(STDIN_FILENO)) return inputLine().value_or(QByteArray());
  const QByteArray first = askHidden(fillPlaceholders(language.Text(571), {account}));
  const QByteArray second = askHidden(language.Text(572));
  if (first == second) return first;
  *why = language.Text(573);
  return std::nullopt;
}

AccountAnswer accountCommand(const CommandLine& cl, const QString& folder, const Language& language,
                             const std::function<std::optional<QByteArray>(QString*)>& password) {
  const QString path = iniPath(folder);
  IniFile file(path);
  const QString section = QLatin1String(kMailUsersSection);
  QList<AccountChange> changes;
  QString done;
  if (cl.action == CommandLine::Action::SetPassword) {
    QString why;
    const std::optional<QByteArray> secret = password(&why);
    if (!secret) return failed(why);
    if (secret->isEmpty()) return failed(language.Text(574));
    const QString hash = HashPassword(*secret);
    if (hash.isEmpty()) return failed(language.Text(582));
    changes.append({cl.account, hash});
    done = fillPlaceholders(language.Text(575), {cl.account, path});
  } else {
    const QStringList names = file.read().keys(section);
    const auto known = std::find_if(names.begin(), names.end(), [&](const QString& n) {
      return n.compare(cl.account, Qt::CaseInsensitive) == 0;
    });
    if (known == names.end()) {
      return failed(fillPlaceholders(language.Text(577), {cl.account, path}));
    }
    changes.append({*known, {}});
    done = fillPlaceholders(language.Text(576), {*known, path});
  }
  if (file.unreadable() || !file.writable() || !StoreAccountChanges(file, changes)) {
    return failed(fillPlaceholders(language.Text(578), {path}));
  }
  return {exitcode::kDone, done + QStringLiteral("; ") + tellRunningProgram(folder, language),
          false};
}

}  // namespace kolvane
