#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

#include "modemsim/pty_endpoint.h"
#include "modemsim/sim_io.h"
#include "modemsim/tcp_endpoint.h"
#include "options.h"
#include "sim_runner.h"

using namespace kolvane;

int main(int argc, char** argv) {
  // SIGINT and SIGTERM end the event loop, so the pseudo-terminal link is removed on the way out.
  const int signalFd = kolvane::modemsim::quitSignalFd();

  QCoreApplication app(argc, argv);
  gatesim::ParsedOptions parsed = gatesim::parseOptions(app.arguments());
  if (!parsed.options) {
    std::fputs((parsed.text + u'\n').toLocal8Bit().constData(), parsed.help ? stdout : stderr);
    return parsed.help ? 0 : 2;
  }
  gatesim::RunOptions options = std::move(*parsed.options);

  QSocketNotifier quitNotifier(signalFd, QSocketNotifier::Read);
  QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

  const QString label = QStringLiteral("gatesim");
  std::unique_ptr<modemsim::Endpoint> endpoint;
  if (options.ptyLink.isEmpty())
    endpoint = std::make_unique<modemsim::TcpEndpoint>(*options.tcpPort, label);
  else
    endpoint = std::make_unique<modemsim::PtyEndpoint>(options.ptyLink, label);
  gatesim::SimRunner runner(std::move(options), std::move(endpoint));
  QString error;
  if (!runner.start(&error)) {
    std::fprintf(stderr, "gatesim: %s\n", error.toLocal8Bit().constData());
    return 1;
  }
  const int code = app.exec();
  ::close(signalFd);
  return code;
}
