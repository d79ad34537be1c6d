#include "tcp_endpoint.h"

namespace kolvane::modemsim {

TcpEndpoint::TcpEndpoint(quint16 port, QString label, QObject* parent)
    : Endpoint(parent), port_(port), label_(std::move(label)) {
  connect(&server_, &QTcpServer::newConnection, this, &TcpEndpoint::accept);
}

bool TcpEndpoint::open(QString* error) {
  if (!server_.listen(QHostAddress::LocalHost, port_)) {
    *error = server_.errorString();
    return false;
  }
  Q_EMIT announced(label_ + QStringLiteral(" listening on 127.0.0.1:%1").arg(server_.serverPort()));
  return true;
}

void TcpEndpoint::accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    release();
    client_ = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
      if (socket == client_) Q_EMIT received(socket->readAll());
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      if (socket == client_) client_ = nullptr;
      socket->deleteLater();
    });
    Q_EMIT connected();
  }
}

void TcpEndpoint::write(const QByteArray& bytes) {
  if (client_) client_->write(bytes);
}

void TcpEndpoint::drop() {
  release();
}

void TcpEndpoint::release() {
  if (!client_) return;
  QTcpSocket* old = client_;
  client_ = nullptr;
  old->disconnect(this);
  old->flush();  // what the modem said before the drop still reaches the gateway
  old->abort();
  old->deleteLater();
}

}  // namespace kolvane::modemsim
