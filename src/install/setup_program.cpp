#include "install/setup_program.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

#include "core/gateway.h"
#include "core/start_mode.h"
#include "install/finst.h"
#include "install/setup_run.h"
#include "platform/clock.h"
#include "platform/display_probe.h"

namespace kolvane::install {

namespace {

// The program's own options (--headless, --dir FOLDER) are not part of the command-line text.
StartupOptions setupOptions(int argc, char** argv) {
  StartupOptions o;
  o.programFile = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
  QStringList rest;
  for (int i = 1; i < argc; ++i) {
    const QString a = QString::fromLocal8Bit(argv[i]);
    if (a == QLatin1String("--dir") && i + 1 < argc) {
      o.programDir = QString::fromLocal8Bit(argv[++i]);
    } else if (a != QLatin1String("--headless")) {
      rest << a;
    }
  }
  o.commandLineText = rest.join(QLatin1Char(' '));
  return o;
}

void showBox(const QString& title, QString text) {
  QMessageBox::information(nullptr, title, text.replace(QLatin1Char('\r'), QLatin1Char('\n')));
}

}  // namespace

bool isSetupRun(int argc, char** argv) {
  const StartupOptions o = setupOptions(argc, argv);
  const auto kind = startModeOf(o.programFile, o.commandLineText, QDir::tempPath()).kind;
  return kind == StartMode::Installer || kind == StartMode::Uninstaller;
}

int runSetup(int argc, char** argv) {
  if (const DisplayProbe display = probeDisplay(); !display.usable) {
    std::fputs("Kolvane: the installer needs a graphical display.\n", stderr);
    if (!display.problem.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(display.problem));
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kolvane"));
  SystemClock clock;
  Gateway gateway(clock, setupOptions(argc, argv));
  const SetupFolders folders =
      desktopFolders(gateway.options().programFile, gateway.state().ProgramDir);
  auto& hooks = gateway.hooks();
  hooks.showInfo = [](const QString& text) { showBox(QStringLiteral("Kolvane"), text); };
  hooks.showError = hooks.showInfo;
  hooks.runUninstaller = [&](const QString& folder) {
    const bool removed = removeInstallation(
        folder, folders, [] { QThread::msleep(100); }, hooks.showInfo);
    // The copy in the temporary folder is of no further use.
    QFile::remove(folders.programFile);
    return removed;
  };
  hooks.runInstaller = [&] {
    FInst wizard(gateway.language(), gateway.state().ProgramVersion, folders);
    wizard.exec();
  };
  gateway.InitX();
  return 0;
}

}  // namespace kolvane::install
