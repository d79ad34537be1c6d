#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "core/gateway.h"
#include "log/log_memo.h"
#include "platform/clock.h"

namespace {

struct CommandLine {
  bool headless = false;
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
  gateway.log().setEchoSink(
      [](const QString& line) { printLine(stdout, kolvane::shownText(line)); });

  // Handlers first: a signal during start-up waits in the socket pair for the event loop.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) == 0) {
    auto* notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, &app);
    auto* retry = new QTimer(&app);
    retry->setInterval(1000);
    const auto askToClose = [&gateway, retry] {
      // A signal closes like the shortcut: past the close-to-tray rule, never mid-relation.
      gateway.state().ShortcutClose = true;
      if (gateway.requestClose()) {
        retry->stop();
      } else if (!retry->isActive()) {
        retry->start();
      }
    };
    QObject::connect(retry, &QTimer::timeout, &app, askToClose);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [askToClose] {
      char c;
      [[maybe_unused]] const auto n = ::read(signalFds[1], &c, 1);
      askToClose();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
  }

  if (!gateway.InitX()) return 0;

  // Headless: the main window counts as painted at once.
  auto& gs = gateway.state();
  gs.FirstPaintPending = false;
  gs.StartupDue = true;

  QObject::connect(&gateway, &kolvane::Gateway::finished, &app, &QCoreApplication::quit);

  gateway.startCycle();
  return app.exec();
}
