#include "core/mail_listeners.h"

#include <QTcpSocket>

namespace kolvane {

MailListeners::MailListeners(QObject* parent) : QObject(parent) {
  connect(&sckSMTPsrv_, &QTcpServer::newConnection, this,
          [this] { accept(sckSMTPsrv_, onSmtpClient); });
  connect(&sckPOP3srv_, &QTcpServer::newConnection, this,
          [this] { accept(sckPOP3srv_, onPop3Client); });
}

bool MailListeners::listen(QTcpServer& server, int port, const std::function<void()>& listens) {
  if (server.isListening()) return true;
  if (port < 0 || port > 65535) return false;
  if (!server.listen(QHostAddress::Any, static_cast<quint16>(port))) return false;
  if (listens) listens();
  return true;
}

void MailListeners::accept(QTcpServer& server, const std::function<void(QTcpSocket*)>& dialogue) {
  while (QTcpSocket* client = server.nextPendingConnection()) {
    if (dialogue) {
      dialogue(client);
    } else {
      client->close();
      client->deleteLater();
    }
  }
}

}  // namespace kolvane
