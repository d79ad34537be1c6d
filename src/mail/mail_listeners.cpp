#include "mail/mail_listeners.h"

#include <QTcpSocket>
#include <QTimer>

#include "platform/connection_accept.h"

namespace kolvane {

MailListeners::MailListeners(QObject* parent) : QObject(parent) {}

namespace {

MailListeners::Problem problemOf(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::AddressInUseError:
      return MailListeners::Problem::InUse;
    case QAbstractSocket::SocketAccessError:
      return MailListeners::Problem::Denied;
    default:
      return MailListeners::Problem::Other;
  }
}

}  // namespace

bool MailListeners::listen(Server& server, int port) {
  if (server.socket.isListening()) return true;
  PortState& state = server.state;
  state.port = port;
  state.asked = true;
  state.detail.clear();
  if (port < 1 || port > 65535) {
    state.problem = Problem::NoPort;
    return false;
  }
  if (!server.socket.listen(QHostAddress::Any, static_cast<quint16>(port))) {
    state.problem = problemOf(server.socket.serverError());
    state.detail = server.socket.errorString();
    return false;
  }
  state.problem = Problem::None;
  state.listening = true;
  // The connections are taken here, so that one that cannot be taken is noticed: the socket
  // layer would retry it at once, for ever.
  server.socket.pauseAccepting();
  server.waiting =
      std::make_unique<QSocketNotifier>(server.socket.socketDescriptor(), QSocketNotifier::Read);
  connect(server.waiting.get(), &QSocketNotifier::activated, this,
          [this, &server] { acceptWaiting(server); });
  if (const auto& listens = this->*server.listens) listens();
  return true;
}

void MailListeners::acceptWaiting(Server& server) {
  for (;;) {
    const AcceptedConnection taken = AcceptWaiting(server.socket.socketDescriptor());
    if (taken.exhausted) {
      acceptFailed(server, taken.error);
      return;
    }
    if (taken.descriptor < 0) return;
    server.failing = false;
    auto* client = new QTcpSocket(this);
    if (!client->setSocketDescriptor(taken.descriptor)) {
      CloseDescriptor(taken.descriptor);
      client->deleteLater();
      continue;
    }
    if (const auto& dialogue = this->*server.dialogue) {
      dialogue(client);
    } else {
      client->close();
      client->deleteLater();
    }
  }
}

void MailListeners::acceptFailed(Server& server, const QString& reason) {
  // The connection stays in the kernel's queue and would fail again at once: wait a moment
  // for descriptors to be freed.
  server.waiting->setEnabled(false);
  QTimer::singleShot(kAcceptPauseMs, this, [&server] { server.waiting->setEnabled(true); });
  if (server.failing) return;
  server.failing = true;
  if (const auto& failed = this->*server.failed) failed(reason);
}

}  // namespace kolvane
