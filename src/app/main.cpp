#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>

#include "core/alarm.h"
#include "core/command_actions.h"
#include "core/demo_mode.h"
#include "core/error_catching_app.h"
#include "core/gateway.h"
#include "core/service_probe.h"
#include "core/settings_reload.h"
#include "core/unhandled_error.h"
#include "install/setup_program.h"
#include "log/log_memo.h"
#include "platform/clock.h"
#include "platform/display_probe.h"
#include "ui/service_notice.h"
#include "ui/windows.h"

namespace {

using kolvane::CommandLine;

QStringList argumentList(int argc, char** argv) {
  QStringList out;
  for (int i = 0; i < argc; ++i) out << QString::fromLocal8Bit(argv[i]);
  return out;
}

// SIGINT, SIGTERM and SIGHUP reach the event loop through a socket pair, as their numbers.
int signalFds[2] = {-1, -1};

void onSignal(int signal) {
  const char c = static_cast<char>(signal);
  [[maybe_unused]] const auto n = ::write(signalFds[0], &c, 1);
}

void printLine(FILE* stream, const QString& line) {
  std::fputs(line.toUtf8().constData(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

// Headless: message boxes, the alarm and the log go to the standard streams.
void installHeadlessOutput(kolvane::Gateway& gateway) {
  auto& hooks = gateway.hooks();
  hooks.showInfo = [](const QString& text) { printLine(stdout, text); };
  hooks.showError = [](const QString& text) { printLine(stderr, text); };
  kolvane::installHeadlessAlarm(
      gateway, [](const QString& text) { printLine(stdout, text); },
      [] {
        if (!::isatty(STDOUT_FILENO)) return;
        std::fputs("\a", stdout);
        std::fflush(stdout);
      });
  gateway.log().setEchoSink(
      [](const QString& line) { printLine(stdout, kolvane::shownText(line)); });
}

void installSignalHandlers(QCoreApplication& app, kolvane::Gateway& gateway) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) != 0) return;
  auto* notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&gateway] {
    char c = 0;
    if (::read(signalFds[1], &c, 1) != 1) return;
    if (c == SIGHUP) {
      kolvane::reloadSettings(gateway);
      return;
    }
    // A signal closes like the shortcut: past the close-to-tray rule, never mid-relation.
    // Refused during a relation, the close happens when it has ended.
    gateway.state().ShortcutClose = true;
    gateway.requestClose();
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGHUP, &sa, nullptr);
}

// The window program without --dir beside the system service starts no second gateway: it
// says so, in the language of the user's settings, with the service's status where readable.
bool besideService(const QString& userFolder) {
  const kolvane::ServiceProbe service = kolvane::probeSystemService();
  if (!service.running) return false;
  kolvane::Language language(userFolder);
  language.setLanguage(kolvane::IniFile(userFolder + QLatin1String(kolvane::files::kSettings))
                           .value(QStringLiteral("CFG"), QStringLiteral("Language")));
  printLine(stderr, QStringLiteral("Kolvane: the service runs on %1; no second gateway starts")
                        .arg(service.folder));
  kolvane::ui::showServiceNotice(service.folder, service.status, language);
  return true;
}

// The program on an application object of either kind; with windows, the main window shows
// the gateway, otherwise the log goes to standard output.
// Start-up refused because another copy holds the folder: said on standard error, and in a box
// when there are windows. A copy that handed its text over only says so.
void reportAnotherCopy(const kolvane::Gateway& gateway, bool withWindows) {
  if (!gateway.anotherCopyRuns()) return;
  const QString folder = QDir::toNativeSeparators(gateway.state().ProgramDir);
  const QString text =
      gateway.textHandedOver()
          ? QStringLiteral("Kolvane already runs on %1; the text was handed over to it.")
                .arg(folder)
          : QStringLiteral("Kolvane already runs on %1; this copy ends.").arg(folder);
  printLine(stderr, text);
  if (withWindows && !gateway.textHandedOver()) {
    QMessageBox::warning(nullptr, QStringLiteral("Kolvane"), text);
  }
}

int runProgram(QCoreApplication& app, kolvane::ErrorHandlerSlot& errors, const CommandLine& cl,
               bool withWindows, const QString& displayProblem) {
  kolvane::SystemClock clock;
  kolvane::StartupOptions options;
  options.programFile = QCoreApplication::applicationFilePath();
  options.programDir = cl.dir;
  options.commandLineText = cl.rest.join(QLatin1Char(' '));
  options.headless = !withWindows;
  options.userFolderFallback = true;
  if (withWindows && !cl.dirGiven && besideService(kolvane::resolveProgramDir(options))) return 0;

  kolvane::Gateway gateway(clock, options);
  errors.setErrorHandler([&gateway](const QObject* sender, const QString& message) {
    kolvane::OnUnhandledError(gateway, sender, message);
  });
  std::unique_ptr<kolvane::ui::Windows> windows;
  if (withWindows) {
    // Hidden to the tray, the program still runs; it ends with the gateway.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    windows = std::make_unique<kolvane::ui::Windows>(gateway);
  } else {
    installHeadlessOutput(gateway);
  }
  // Handlers first: a signal during start-up waits in the socket pair for the event loop.
  installSignalHandlers(app, gateway);
  QObject::connect(&gateway, &kolvane::Gateway::finished, &app, &QCoreApplication::quit);

  // Start-up proper; false when the program has done its work or must not run.
  const auto run = [&gateway, &windows, &displayProblem, withWindows] {
    if (!gateway.InitX()) {
      reportAnotherCopy(gateway, withWindows);
      return false;
    }
    if (!displayProblem.isEmpty()) gateway.Log(true, displayProblem);
    if (windows) {
      windows->showMainWindow();
      return true;
    }
    // Headless: the main window counts as painted at once.
    auto& gs = gateway.state();
    gs.FirstPaintPending = false;
    gs.StartupDue = true;
    gateway.startCycle();
    return true;
  };

  if (!cl.demo) {
    if (!run()) return gateway.exitCode();
    return app.exec();
  }

  // The demo starts the gateway once the simulated modem listens, and stops the modem at exit.
  const bool gate = cl.demoDevice == kolvane::DemoDevice::Gate;
  kolvane::DemoModem modem(
      QCoreApplication::applicationDirPath() +
          (gate ? QStringLiteral("/kolvane-gatesim") : QStringLiteral("/kolvane-modemsim")),
      cl.dir, nullptr, cl.demoDevice);
  QObject::connect(&modem, &kolvane::DemoModem::ready, &app, [&](quint16 port) {
    QString error;
    if (!kolvane::prepareDemoFolder(cl.dir, port, &error, cl.demoDevice)) {
      printLine(stderr, error);
      app.exit(1);
      return;
    }
    printLine(stdout, QStringLiteral("Demo in %1: SMTP on port %2, POP3 on port %3; SMS to "
                                     "receive go into %4")
                          .arg(cl.dir)
                          .arg(kolvane::kDemoSmtpPort)
                          .arg(kolvane::kDemoPop3Port)
                          .arg(kolvane::DemoModem::injectFile(cl.dir, cl.demoDevice)));
    if (!run()) app.exit(gateway.exitCode());
  });
  QObject::connect(&modem, &kolvane::DemoModem::failed, &app, [&](const QString& why) {
    printLine(stderr, why);
    app.exit(1);
  });
  modem.start();
  return app.exec();
}

template <class App>
int runOn(int argc, char** argv, const CommandLine& cl, bool withWindows,
          const QString& displayProblem = {}) {
  kolvane::ErrorCatchingApp<App> app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Kolvane"));
  const int rc = runProgram(app, app, cl, withWindows, displayProblem);
  app.setErrorHandler({});
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit a write fails like on a full disk instead of ending the process;
  // the installer's copies are writes too.
  std::signal(SIGXFSZ, SIG_IGN);
  const CommandLine cl = kolvane::parseCommandLine(argumentList(argc, argv));
  if (const auto rc = kolvane::answerWithoutGateway(argc, argv, cl)) return *rc;
  // Installer and uninstaller copy: a widget application of their own.
  if (kolvane::install::isSetupRun(argc, argv)) return kolvane::install::runSetup(argc, argv);

  if (cl.headless) return runOn<QCoreApplication>(argc, argv, cl, false);
  const kolvane::DisplayProbe display = kolvane::probeDisplay();
  if (display.usable) return runOn<QApplication>(argc, argv, cl, true);
  // A display that is named but does not answer is worth a line; none named is a plain service.
  const QString why = display.problem.isEmpty()
                          ? QString()
                          : display.problem + QStringLiteral(": running without windows");
  return runOn<QCoreApplication>(argc, argv, cl, false, why);
}
