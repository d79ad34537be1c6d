#include "core/command_actions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "context/startup_options.h"
#include "core/account_command.h"
#include "core/gateway.h"
#include "core/status_client.h"
#include "platform/ini_file.h"
#include "settings/language.h"

namespace kolvane {

namespace {

void print(FILE* stream, const QString& text) {
  std::fputs(text.toUtf8().constData(), stream);
  std::fflush(stream);
}

}  // namespace

std::optional<int> answerWithoutGateway(int argc, char** argv, const CommandLine& cl) {
  using Action = CommandLine::Action;
  const QString name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
  switch (cl.action) {
    case Action::Run:
      return std::nullopt;
    case Action::Help:
      print(stdout, usageText(name));
      return exitcode::kDone;
    case Action::Version:
      print(stdout, versionText());
      return exitcode::kDone;
    case Action::Wrong:
      print(stderr, name + QStringLiteral(": ") + cl.wrong + QLatin1Char('\n') + usageText(name));
      return exitcode::kUsage;
    case Action::Status:
    case Action::Queue:
    case Action::SetPassword:
    case Action::DeleteUser:
      break;
  }
  QCoreApplication app(argc, argv);
  StartupOptions options;
  options.programFile = QCoreApplication::applicationFilePath();
  options.programDir = cl.dir;
  options.userFolderFallback = true;
  const QString folder = resolveProgramDir(options);
  if (cl.action == Action::SetPassword || cl.action == Action::DeleteUser) {
    Language language(folder);
    language.setLanguage(IniFile(QDir(folder).filePath(QLatin1String(files::kSettings)))
                             .value(QStringLiteral("CFG"), QStringLiteral("Language")));
    const AccountAnswer done = accountCommand(cl, folder, language, [&](QString* why) {
      return readNewPassword(cl.account, language, why);
    });
    print(done.error ? stderr : stdout, done.line + QLatin1Char('\n'));
    return done.exitCode;
  }
  const StatusAnswer answer = statusCommand(folder, cl.action == Action::Queue);
  for (const QString& line : answer.lines) print(stdout, line + QLatin1Char('\n'));
  if (!answer.error.isEmpty()) print(stderr, answer.error + QLatin1Char('\n'));
  return answer.exitCode;
}

}  // namespace kolvane
