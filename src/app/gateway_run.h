#pragma once

// The gateway's life from the command line to the end, shared by the service program and the
// program with windows. It links the gateway library alone: whatever shows windows comes in
// through a Front the window program makes.
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "core/command_line.h"
#include "core/error_catching_app.h"
#include "settings/language.h"

namespace kolvane {

class Gateway;
struct StartupOptions;

namespace app {

QStringList argumentList(int argc, char** argv);
void printLine(FILE* stream, const QString& line);
// The language the settings of folder choose, before any gateway reads them.
Language folderLanguage(const QString& folder);

// The windows of the program; without one the gateway runs headless.
class Front {
 public:
  virtual ~Front() = default;
  // Before the gateway is made: true when the program must not start one (the service runs).
  virtual bool yieldsToService(const StartupOptions& options) = 0;
  // The windows, made for the gateway before its start-up.
  virtual void attach(Gateway& gateway) = 0;
  // Start-up is done: the main window appears.
  virtual void show() = 0;
  // Another copy holds the folder: said in a box as well.
  virtual void anotherCopyRuns(const QString& text) = 0;
  // The gateway ends: the windows go before it.
  virtual void detach() = 0;
};

using FrontFactory = std::function<std::unique_ptr<Front>()>;

// Runs the gateway (or the demo) on the application object until it ends; the exit code.
// displayProblem, when set, is logged once the log is open.
int runGateway(QCoreApplication& app, ErrorHandlerSlot& errors, const CommandLine& cl, Front* front,
               const QString& displayProblem);

template <class App>
int runOn(int argc, char** argv, const CommandLine& cl, const FrontFactory& makeFront = {},
          const QString& displayProblem = {}) {
  ErrorCatchingApp<App> app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Kolvane"));
  const std::unique_ptr<Front> front = makeFront ? makeFront() : nullptr;
  const int rc = runGateway(app, app, cl, front.get(), displayProblem);
  app.setErrorHandler({});
  return rc;
}

// Start-up common to both programs: a write past a file-size limit fails instead of ending
// the process, and the command line is read. nullopt runs the program; otherwise the exit code
// of what was answered without a gateway (--help, --version, --status, --queue, a wrong line).
std::optional<int> startProgram(int argc, char** argv, CommandLine& cl);

}  // namespace app
}  // namespace kolvane
