#include "gsm/gt_net_client.h"

#include <utility>

#include "context/gateway_context.h"
#include "gsm/link_passes.h"
#include "gsm/link_state.h"
#include "settings/catalogue.h"

namespace kolvane {

int winsockCode(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::RemoteHostClosedError:
      return 10054;
    case QAbstractSocket::NetworkError:
      return 10065;
    default:
      return static_cast<int>(error);
  }
}

TdmGtNET::TdmGtNET(GatewayContext& gateway, QObject* parent) : QObject(parent), gateway_(gateway) {
  connectWaitTimer_.setInterval(200);
  connect(&connectWaitTimer_, &QTimer::timeout, this, &TdmGtNET::pollConnectWait);
  connect(&sckGtNETcli_, &QAbstractSocket::stateChanged, this, &TdmGtNET::onStateChanged);
  connect(&sckGtNETcli_, &QAbstractSocket::connected, this, &TdmGtNET::sckGtNETcliConnect);
  connect(&sckGtNETcli_, &QAbstractSocket::disconnected, this, &TdmGtNET::sckGtNETcliDisconnect);
  connect(&sckGtNETcli_, &QAbstractSocket::errorOccurred, this, &TdmGtNET::onError);
  connect(&sckGtNETcli_, &QIODevice::readyRead, this, &TdmGtNET::sckGtNETcliRead);
}

TdmGtNET::~TdmGtNET() {
  // The socket's last events must not reach a gateway that is going away.
  sckGtNETcli_.disconnect(this);
  sckGtNETcli_.abort();
}

void TdmGtNET::open(const QByteArray& address, int port) {
  close();
  LinkState& link = gateway_.link();
  link.GtNetConnected = false;
  link.GtNetError = false;
  // Bytes that came after the last relation's end are nobody's answer.
  link.GtNetRecvBuf.clear();
  // A port outside 1-65535 is never cut down to another port: it fails like a refused one.
  if (port < 1 || port > 65535) {
    QTimer::singleShot(0, this, [this] { onError(QAbstractSocket::ConnectionRefusedError); });
    return;
  }
  sckGtNETcli_.connectToHost(QString::fromLatin1(address), static_cast<quint16>(port));
}

void TdmGtNET::close() {
  socketOwned_ = false;
  sckGtNETcli_.abort();
}

void TdmGtNET::disconnectGracefully() {
  socketOwned_ = false;
  sckGtNETcli_.disconnectFromHost();
}

void TdmGtNET::discardReceived() {
  // What the socket holds and no read handler has taken yet.
  if (sckGtNETcli_.bytesAvailable() > 0) sckGtNETcli_.readAll();
  gateway_.link().GtNetRecvBuf.clear();
}

qint64 TdmGtNET::write(const QByteArray& data) {
  if (!socketOwned_ || sckGtNETcli_.state() != QAbstractSocket::ConnectedState) return -1;
  const qint64 n = sckGtNETcli_.write(data);
  if (n > 0) sckGtNETcli_.flush();
  return n;
}

void TdmGtNET::waitForConnect(std::function<void(bool)> done) {
  connectDone_ = std::move(done);
  connectPolls_ = 0;
  connectWaitTimer_.start();
}

void TdmGtNET::pollConnectWait() {
  if (!connectDone_) {
    connectWaitTimer_.stop();
    return;
  }
  const LinkState& link = gateway_.link();
  ++connectPolls_;
  if (!link.GtNetConnected && !link.GtNetError && connectPolls_ < kConnectPolls) return;
  connectWaitTimer_.stop();
  // Taken out first: the continuation may open again and start a new wait.
  auto done = std::exchange(connectDone_, nullptr);
  done(link.GtNetConnected);
}

void TdmGtNET::onStateChanged(QAbstractSocket::SocketState state) {
  if (state == QAbstractSocket::ConnectingState) sckGtNETcliConnecting();
}

void TdmGtNET::onError(QAbstractSocket::SocketError error) {
  sckGtNETcliError(winsockCode(error));
}

void TdmGtNET::sckGtNETcliConnecting() {
  gateway_.LogStatus(kLinkStatus + QStringLiteral("connecting"), gateway_.Text(116));
}

void TdmGtNET::sckGtNETcliConnect() {
  gateway_.LogStatus(kLinkStatus + QStringLiteral("opened"), gateway_.Text(115));
  socketOwned_ = true;
  LinkState& link = gateway_.link();
  link.GtNetConnected = true;
  link.GtNetRefused = false;
  gateway_.state().TcpRetryCount = 0;
  // A start waiting for the connection goes on at once rather than at its next poll.
  if (connectDone_) {
    QMetaObject::invokeMethod(this, &TdmGtNET::pollConnectWait, Qt::QueuedConnection);
  }
}

void TdmGtNET::sckGtNETcliDisconnect() {
  gateway_.link().GtNetConnected = false;
  gateway_.passes().linkDropped();
}

void TdmGtNET::sckGtNETcliError(int code) {
  LinkState& link = gateway_.link();
  if (code == 10061 && !link.GtNetConnected) link.GtNetRefused = true;
  link.GtNetError = true;
  gateway_.Log(true, fillPlaceholders(gateway_.Text(117), {QString::number(code)}));
  // Bytes the peer sent before closing are kept for the receive pass; the abort drops them.
  if (socketOwned_ && sckGtNETcli_.bytesAvailable() > 0)
    link.GtNetRecvBuf.append(sckGtNETcli_.readAll());
  if (link.GtNetConnected) close();
  link.GtNetConnected = false;
}

void TdmGtNET::sckGtNETcliRead() {
  if (!socketOwned_) {
    sckGtNETcli_.readAll();
    return;
  }
  gateway_.link().GtNetRecvBuf.append(sckGtNETcli_.readAll());
  // The same route as a serial device's bytes: read on the loop's next turn, not at the next
  // 250 ms pass.
  gateway_.passes().bytesArrived();
}

}  // namespace kolvane
