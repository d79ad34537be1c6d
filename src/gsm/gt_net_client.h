#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

namespace kolvane {

class GatewayContext;

// The error numbers the log shows for socket errors: 10061 refused, 10060 timed out,
// 10054 reset, 10065 unreachable; any other error keeps Qt's own number.
int winsockCode(QAbstractSocket::SocketError error);

// The TCP client of a network GSM gateway. Its events set the link's flags (GtNetConnected,
// GtNetError, GtNetRefused) and collect received bytes in GtNetRecvBuf for the receive pass.
class TdmGtNET : public QObject {
  Q_OBJECT

 public:
  explicit TdmGtNET(GatewayContext& gateway, QObject* parent = nullptr);
  ~TdmGtNET() override;

  // Closes any earlier connection, clears the flags and starts connecting.
  void open(const QByteArray& address, int port);
  // Drops the connection at once; errors are ignored.
  void close();
  // Ends the connection after the queued bytes are out; Disconnect follows, maybe later.
  void disconnectGracefully();
  // Drops what the gateway has sent and nobody has read, what the system still holds too.
  void discardReceived();
  // Bytes the socket accepted, or -1 when it is not connected or the send failed.
  qint64 write(const QByteArray& data);

  // The start's wait for the connection: polled every 200 ms, at most 101 times, until the
  // gateway connects or reports an error; then done(connected) runs once. A new open or wait
  // drops the earlier one.
  void waitForConnect(std::function<void(bool connected)> done);
  bool waitingForConnect() const { return static_cast<bool>(connectDone_); }
  // One poll of that wait (the wait's timer calls it; tests call it themselves).
  void pollConnectWait();

  // The socket's events.
  void sckGtNETcliConnecting();
  void sckGtNETcliConnect();
  void sckGtNETcliDisconnect();
  void sckGtNETcliError(int code);
  void sckGtNETcliRead();

 private:
  void onStateChanged(QAbstractSocket::SocketState state);
  void onError(QAbstractSocket::SocketError error);

  static constexpr int kConnectPolls = 101;

  GatewayContext& gateway_;
  QTcpSocket sckGtNETcli_;
  bool socketOwned_ = false;  // GtNetSocket: set on connect
  QTimer connectWaitTimer_;
  int connectPolls_ = 0;
  std::function<void(bool)> connectDone_;
};

}  // namespace kolvane
