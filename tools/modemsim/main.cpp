#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

#include "modemsim/sim_io.h"
#include "options.h"
#include "pty_endpoint.h"
#include "sim_runner.h"
#include "tcp_endpoint.h"

using namespace kolvane::modemsim;

int main(int argc, char** argv) {
  // SIGINT and SIGTERM end the event loop, so the pseudo-terminal link is removed on the way out.
  const int signalFd = kolvane::modemsim::quitSignalFd();

  QCoreApplication app(argc, argv);
  ParsedOptions parsed = parseOptions(app.arguments());
  if (!parsed.options) {
    std::fputs((parsed.text + u'\n').toLocal8Bit().constData(), parsed.help ? stdout : stderr);
    return parsed.help ? 0 : 2;
  }
  RunOptions options = std::move(*parsed.options);

  QSocketNotifier quitNotifier(signalFd, QSocketNotifier::Read);
  QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

  std::unique_ptr<Endpoint> endpoint;
  if (options.ptyLink.isEmpty())
    endpoint = std::make_unique<TcpEndpoint>(*options.tcpPort);
  else {
    auto pty = std::make_unique<PtyEndpoint>(options.ptyLink);
    pty->setConnectionPerOpen(true);
    endpoint = std::move(pty);
  }
  SimRunner runner(std::move(options), std::move(endpoint));
  QString error;
  if (!runner.start(&error)) {
    std::fprintf(stderr, "modemsim: %s\n", error.toLocal8Bit().constData());
    return 1;
  }
  const int code = app.exec();
  ::close(signalFd);
  return code;
}
