// kolvaned, the service program: the gateway without windows, on the same command line as the
// program with windows. It links no window or graphics library, so a server needs none.
#include "app/gateway_run.h"
#include "context/startup_options.h"
#include "core/gateway.h"
#include "core/start_mode.h"

int main(int argc, char** argv) {
  kolvane::CommandLine cl;
  if (const auto rc = kolvane::app::startProgram(argc, argv, cl)) return *rc;
  // The setup wizard needs windows: the window program has them.
  const QString text = cl.rest.join(QLatin1Char(' '));
  if (kolvane::startModeOf(QString::fromLocal8Bit(argv[0]), text, QString()).kind ==
      kolvane::StartMode::Installer) {
    kolvane::StartupOptions options;
    options.programFile = QString::fromLocal8Bit(argv[0]);
    options.programDir = cl.dir;
    options.userFolderFallback = true;
    const QString folder = kolvane::resolveProgramDir(options);
    kolvane::app::printLine(stderr, kolvane::app::folderLanguage(folder).Text(440));
    return kolvane::exitcode::kUsage;
  }
  return kolvane::app::runOn<QCoreApplication>(argc, argv, cl);
}
