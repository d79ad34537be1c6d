#include "core/command_actions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "context/startup_options.h"
#include "core/gateway.h"
#include "core/status_client.h"

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
      break;
  }
  QCoreApplication app(argc, argv);
  StartupOptions options;
  options.programFile = QCoreApplication::applicationFilePath();
  options.programDir = cl.dir;
  options.userFolderFallback = true;
  const StatusAnswer answer = statusCommand(resolveProgramDir(options), cl.action == Action::Queue);
  for (const QString& line : answer.lines) print(stdout, line + QLatin1Char('\n'));
  if (!answer.error.isEmpty()) print(stderr, answer.error + QLatin1Char('\n'));
  return answer.exitCode;
}

}  // namespace kolvane
