#include "app/gateway_run.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>

#include "context/startup_options.h"
#include "core/alarm.h"
#include "core/command_actions.h"
#include "core/demo_mode.h"
#include "core/gateway.h"
#include "core/settings_reload.h"
#include "core/unhandled_error.h"
#include "log/log_memo.h"
#include "platform/clock.h"
#include "platform/ini_file.h"

namespace kolvane::app {

namespace {

// SIGINT, SIGTERM and SIGHUP reach the event loop through a socket pair, as their numbers.
int signalFds[2] = {-1, -1};

void onSignal(int signal) {
  const char c = static_cast<char>(signal);
  [[maybe_unused]] const auto n = ::write(signalFds[0], &c, 1);
}

// Headless: message boxes, the alarm and the log go to the standard streams.
void installHeadlessOutput(Gateway& gateway) {
  auto& hooks = gateway.hooks();
  hooks.showInfo = [](const QString& text) { printLine(stdout, text); };
  hooks.showError = [](const QString& text) { printLine(stderr, text); };
  installHeadlessAlarm(
      gateway, [](const QString& text) { printLine(stdout, text); },
      [] {
        if (!::isatty(STDOUT_FILENO)) return;
        std::fputs("\a", stdout);
        std::fflush(stdout);
      });
  gateway.log().setEchoSink([](const QString& line) { printLine(stdout, shownText(line)); });
}

void installSignalHandlers(QCoreApplication& app, Gateway& gateway) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) != 0) return;
  auto* notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&gateway] {
    char c = 0;
    if (::read(signalFds[1], &c, 1) != 1) return;
    if (c == SIGHUP) {
      reloadSettings(gateway);
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

// Start-up refused because another copy holds the folder: said on standard error, and in a box
// when there are windows. A copy that handed its text over only says so.
void reportAnotherCopy(const Gateway& gateway, Front* front) {
  if (!gateway.anotherCopyRuns()) return;
  const QString folder = QDir::toNativeSeparators(gateway.state().ProgramDir);
  const QString text =
      gateway.textHandedOver()
          ? QStringLiteral("Kolvane already runs on %1; the text was handed over to it.")
                .arg(folder)
          : QStringLiteral("Kolvane already runs on %1; this copy ends.").arg(folder);
  printLine(stderr, text);
  if (front && !gateway.textHandedOver()) front->anotherCopyRuns(text);
}

// The windows go before the gateway they show.
struct FrontRelease {
  Front* front;
  ~FrontRelease() {
    if (front) front->detach();
  }
};

}  // namespace

QStringList argumentList(int argc, char** argv) {
  QStringList out;
  for (int i = 0; i < argc; ++i) out << QString::fromLocal8Bit(argv[i]);
  return out;
}

void printLine(FILE* stream, const QString& line) {
  std::fputs(line.toUtf8().constData(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

Language folderLanguage(const QString& folder) {
  Language language(folder);
  language.setLanguage(IniFile(folder + QLatin1String(files::kSettings))
                           .value(QStringLiteral("CFG"), QStringLiteral("Language")));
  return language;
}

std::optional<int> startProgram(int argc, char** argv, CommandLine& cl) {
  // Past a file-size limit a write fails like on a full disk instead of ending the process;
  // the installer's copies are writes too.
  std::signal(SIGXFSZ, SIG_IGN);
  cl = parseCommandLine(argumentList(argc, argv));
  return answerWithoutGateway(argc, argv, cl);
}

int runGateway(QCoreApplication& app, ErrorHandlerSlot& errors, const CommandLine& cl, Front* front,
               const QString& displayProblem) {
  SystemClock clock;
  StartupOptions options;
  options.programFile = QCoreApplication::applicationFilePath();
  options.programDir = cl.dir;
  options.commandLineText = cl.rest.join(QLatin1Char(' '));
  options.headless = front == nullptr;
  options.userFolderFallback = true;
  if (front && !cl.dirGiven && front->yieldsToService(options)) return 0;

  Gateway gateway(clock, options);
  errors.setErrorHandler([&gateway](const QObject* sender, const QString& message) {
    OnUnhandledError(gateway, sender, message);
  });
  const FrontRelease release{front};
  if (front) {
    front->attach(gateway);
  } else {
    installHeadlessOutput(gateway);
  }
  // Handlers first: a signal during start-up waits in the socket pair for the event loop.
  installSignalHandlers(app, gateway);
  QObject::connect(&gateway, &Gateway::finished, &app, &QCoreApplication::quit);

  // Start-up proper; false when the program has done its work or must not run.
  const auto run = [&gateway, front, &displayProblem] {
    if (!gateway.InitX()) {
      reportAnotherCopy(gateway, front);
      return false;
    }
    if (!displayProblem.isEmpty()) gateway.Log(true, displayProblem);
    if (front) {
      front->show();
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
  const bool gate = cl.demoDevice == DemoDevice::Gate;
  DemoModem modem(
      QCoreApplication::applicationDirPath() +
          (gate ? QStringLiteral("/kolvane-gatesim") : QStringLiteral("/kolvane-modemsim")),
      cl.dir, nullptr, cl.demoDevice);
  QObject::connect(&modem, &DemoModem::ready, &app, [&](quint16 port) {
    QString error;
    if (!prepareDemoFolder(cl.dir, port, &error, cl.demoDevice)) {
      printLine(stderr, error);
      app.exit(1);
      return;
    }
    printLine(stdout, QStringLiteral("Demo in %1: SMTP on port %2, POP3 on port %3; SMS to "
                                     "receive go into %4")
                          .arg(cl.dir)
                          .arg(kDemoSmtpPort)
                          .arg(kDemoPop3Port)
                          .arg(DemoModem::injectFile(cl.dir, cl.demoDevice)));
    if (!run()) app.exit(gateway.exitCode());
  });
  QObject::connect(&modem, &DemoModem::failed, &app, [&](const QString& why) {
    printLine(stderr, why);
    app.exit(1);
  });
  modem.start();
  return app.exec();
}

}  // namespace kolvane::app
