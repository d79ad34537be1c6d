#include "mail/mail_listeners.h"

#include <QTcpSocket>
#include <QTimer>

#include "platform/connection_accept.h"

namespace kolvane {

MailListeners::MailListeners(QObject* parent) : QObject(parent) {}

bool MailListeners::listen(Server& server, int port) {
  if (server.socket.isListening()) return true;
  // Port 0 would bind a random port nobody knows of: refused like any port out of range.
  if (port < 1 || port > 65535) return false;
  if (!server.socket.listen(QHostAddress::Any, static_cast<quint16>(port))) return false;
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
