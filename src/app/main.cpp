#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "core/alarm.h"
#include "core/demo_mode.h"
#include "core/gateway.h"
#include "install/setup_program.h"
#include "log/log_memo.h"
#include "platform/clock.h"

namespace {

struct CommandLine {
  bool headless = false;
  bool demo = false;
  QString dir;
  QStringList rest;
};

CommandLine parseCommandLine(const QStringList& args) {
  CommandLine cl;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--headless")) {
      cl.headless = true;
    } else if (a == QLatin1String("--dir") && i + 1 < args.size()) {
      cl.dir = args[++i];
    } else if (a == QLatin1String("--demo")) {
      // Headless beside the simulated modem, in FOLDER (default ./kolvane-demo).
      cl.demo = true;
      cl.headless = true;
      cl.dir = QString::fromLatin1(kolvane::kDemoFolder);
      if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--"))) cl.dir = args[++i];
    } else {
      cl.rest << a;
    }
  }
  return cl;
}

// SIGINT/SIGTERM reach the event loop through a socket pair.
int signalFds[2] = {-1, -1};

void onSignal(int) {
  const char c = 1;
  [[maybe_unused]] const auto n = ::write(signalFds[0], &c, 1);
}

void printLine(FILE* stream, const QString& line) {
  std::fputs(line.toUtf8().constData(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  // Installer and uninstaller copy: a widget application of their own.
  if (kolvane::install::isSetupRun(argc, argv)) return kolvane::install::runSetup(argc, argv);

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Kolvane"));
  const CommandLine cl = parseCommandLine(QCoreApplication::arguments());

  kolvane::SystemClock clock;
  kolvane::StartupOptions options;
  options.programFile = QCoreApplication::applicationFilePath();
  options.programDir = cl.dir;
  options.commandLineText = cl.rest.join(QLatin1Char(' '));
  // The windows are not part of this build yet: every run is headless.
  options.headless = true;

  kolvane::Gateway gateway(clock, options);
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

  // Handlers first: a signal during start-up waits in the socket pair for the event loop.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) == 0) {
    auto* notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&gateway] {
      char c;
      [[maybe_unused]] const auto n = ::read(signalFds[1], &c, 1);
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
  }

  QObject::connect(&gateway, &kolvane::Gateway::finished, &app, &QCoreApplication::quit);

  // Start-up proper; false when the program has done its work or must not run.
  const auto run = [&gateway, &app] {
    if (!gateway.InitX()) return false;
    // Headless: the main window counts as painted at once.
    auto& gs = gateway.state();
    gs.FirstPaintPending = false;
    gs.StartupDue = true;
    gateway.startCycle();
    return true;
  };

  if (!cl.demo) {
    if (!run()) return 0;
    return app.exec();
  }

  // The demo starts the gateway once the simulated modem listens, and stops the modem at exit.
  kolvane::DemoModem modem(
      QCoreApplication::applicationDirPath() + QStringLiteral("/kolvane-modemsim"), cl.dir);
  QObject::connect(&modem, &kolvane::DemoModem::ready, &app, [&](quint16 port) {
    QString error;
    if (!kolvane::prepareDemoFolder(cl.dir, port, &error)) {
      printLine(stderr, error);
      app.exit(1);
      return;
    }
    printLine(stdout, QStringLiteral("Demo in %1: SMTP on port %2, POP3 on port %3; SMS to "
                                     "receive go into %4")
                          .arg(cl.dir)
                          .arg(kolvane::kDemoSmtpPort)
                          .arg(kolvane::kDemoPop3Port)
                          .arg(kolvane::DemoModem::injectFile(cl.dir)));
    if (!run()) app.exit(0);
  });
  QObject::connect(&modem, &kolvane::DemoModem::failed, &app, [&](const QString& why) {
    printLine(stderr, why);
    app.exit(1);
  });
  modem.start();
  return app.exec();
}
