#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QTcpServer>
#include <functional>
#include <map>
#include <memory>

namespace kolvane {

// The listening sockets of the mail servers, opened at the gateway's start whatever the GSM
// device does. A port that cannot be opened is remembered with the reason (state()), and is
// asked for again by the gateway's retry. Accepted connections go to the dialogue wired into
// onSmtpClient / onPop3Client, which takes the socket over; while none is wired in, a
// connection is closed at once so that no client hangs. A connection that cannot be accepted
// (no descriptor left) pauses that server's accepting for a second instead of retrying at once.
// Connections of both servers together are bounded per address and in all, and descriptors
// are kept in reserve for the stores and settings: one more connection is told so in the
// server's words and closed at once.
class MailListeners : public QObject {
  Q_OBJECT

 public:
  // Why a port does not listen.
  enum class Problem { None, InUse, Denied, NoPort, Other };
  struct PortState {
    const char* name;  // "SMTP", "POP3"
    int port = 0;
    bool asked = false;  // a start asked for the port
    bool listening = false;
    Problem problem = Problem::None;
    QString detail;  // the system's words for Problem::Other
  };

  explicit MailListeners(QObject* parent = nullptr);

  // Opens the listening socket on port; false when it cannot be opened (state() tells why).
  // A port of 0 or out of range is refused: it would bind a port nobody knows of.
  bool listenSmtp(int port) { return listen(smtp_, port); }
  bool listenPop3(int port) { return listen(pop3_, port); }
  bool smtpListening() const { return smtp_.socket.isListening(); }
  bool pop3Listening() const { return pop3_.socket.isListening(); }
  quint16 smtpPort() const { return smtp_.socket.serverPort(); }
  quint16 pop3Port() const { return pop3_.socket.serverPort(); }
  const PortState& smtpState() const { return smtp_.state; }
  const PortState& pop3State() const { return pop3_.state; }
  std::function<void(QTcpSocket* client)> onSmtpClient;
  std::function<void(QTcpSocket* client)> onPop3Client;
  // The server has begun to listen.
  std::function<void()> onSmtpListens;
  std::function<void()> onPop3Listens;
  // A connection could not be accepted; called once until one is accepted again.
  std::function<void(const QString& reason)> onSmtpAcceptFailed;
  std::function<void(const QString& reason)> onPop3AcceptFailed;

  // The bounds in force: connections from one address, and in all.
  struct Limits {
    int perHost = 10;
    int total = 100;
  };
  std::function<Limits()> limits;
  // A connection was refused for one of the bounds; called at most once a minute per server.
  std::function<void(const QString& server, const QString& address)> onTooMany;
  // Connections of both servers open now.
  int openConnections() const { return total_; }

  static constexpr int kAcceptPauseMs = 1000;
  // Descriptors no connection may take (a quarter of a small table).
  static constexpr qintptr kDescriptorReserve = 32;

 private:
  using Dialogue = std::function<void(QTcpSocket*)> MailListeners::*;
  using Listens = std::function<void()> MailListeners::*;
  using Failed = std::function<void(const QString&)> MailListeners::*;
  struct Server {
    Server(const char* name, const char* refusal, Dialogue d, Listens l, Failed f)
        : dialogue(d), listens(l), failed(f), tooMany(refusal) {
      state.name = name;
    }
    QTcpServer socket;  // listens; the connections are taken by acceptWaiting
    std::unique_ptr<QSocketNotifier> waiting;
    Dialogue dialogue;
    Listens listens;
    Failed failed;
    bool failing = false;  // accepting failed and has not succeeded since
    PortState state;
    const char* tooMany;         // the reply to a connection over the bounds
    qint64 refusedLoggedAt = 0;  // ms since the epoch; 0 = never
  };

  bool listen(Server& server, int port);
  void acceptWaiting(Server& server);
  void acceptFailed(Server& server, const QString& reason);
  // Counts the connection in, or refuses it when it is over a bound; false when refused.
  bool admit(Server& server, QTcpSocket* client, qintptr descriptor);

  std::map<QString, int> perHost_;  // open connections by address
  int total_ = 0;

  Server smtp_{"SMTP", "421 4.7.0 Kolvane too many connections\r\n", &MailListeners::onSmtpClient,
               &MailListeners::onSmtpListens, &MailListeners::onSmtpAcceptFailed};
  Server pop3_{"POP3", "-ERR [SYS/TEMP] too many connections\r\n", &MailListeners::onPop3Client,
               &MailListeners::onPop3Listens, &MailListeners::onPop3AcceptFailed};
};

// The peer in dotted form; an IPv4 client of the dual-stack listener shows as IPv4.
QString dottedAddress(const QHostAddress& peer);

}  // namespace kolvane
