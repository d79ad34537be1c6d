#pragma once

#include <QObject>
#include <QTcpServer>
#include <functional>

namespace kolvane {

// The listening sockets of the SMTP and POP3 servers, opened by the gateway's first start.
// Accepted connections go to the dialogue wired into onSmtpClient / onPop3Client, which takes
// the socket over; while none is wired in, a connection is closed at once so that no client
// hangs.
class MailListeners : public QObject {
  Q_OBJECT

 public:
  explicit MailListeners(QObject* parent = nullptr);

  // Opens the listening socket on port (0 picks a free one); false when it cannot be opened.
  bool listenSmtp(int port) { return listen(sckSMTPsrv_, port, onSmtpListens); }
  bool listenPop3(int port) { return listen(sckPOP3srv_, port, onPop3Listens); }
  bool smtpListening() const { return sckSMTPsrv_.isListening(); }
  bool pop3Listening() const { return sckPOP3srv_.isListening(); }
  quint16 smtpPort() const { return sckSMTPsrv_.serverPort(); }
  quint16 pop3Port() const { return sckPOP3srv_.serverPort(); }

  std::function<void(QTcpSocket* client)> onSmtpClient;
  std::function<void(QTcpSocket* client)> onPop3Client;
  // The server has begun to listen.
  std::function<void()> onSmtpListens;
  std::function<void()> onPop3Listens;

 private:
  static bool listen(QTcpServer& server, int port, const std::function<void()>& listens);
  static void accept(QTcpServer& server, const std::function<void(QTcpSocket*)>& dialogue);

  QTcpServer sckSMTPsrv_;
  QTcpServer sckPOP3srv_;
};

}  // namespace kolvane
