#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QTcpServer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "mail/login_throttle.h"
#include "mail/tls_failures.h"

class QSslSocket;

namespace kolvane {

// The listening sockets of the mail servers, opened at the gateway's start whatever the GSM
// device does. A port that cannot be opened is remembered with the reason (state()), and is
// asked for again by the gateway's retry. Accepted connections go to the dialogue wired into
// onSmtpClient / onPop3Client, which takes the socket over; while none is wired in, a
// connection is closed at once so that no client hangs. A connection that cannot be accepted
// (no descriptor left) pauses that server's accepting for a second instead of retrying at once.
// Connections of both servers together are bounded per address and in all, and descriptors
// are kept in reserve for the stores and settings: one more connection is told so in the
// server's words and closed at once. The TLS ports (SMTPS, POP3S) hand their connections to
// the same dialogues once the handshake is done; one that fails it is closed and logged.
class MailListeners : public QObject {
  Q_OBJECT

 public:
  // Why a port does not listen.
  enum class Problem { None, InUse, Denied, NoPort, Other };
  struct PortState {
    const char* name;  // "SMTP", "POP3", "SMTPS", "POP3S"
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
  bool listenSmtps(int port) { return listen(smtps_, port); }
  bool listenPop3s(int port) { return listen(pop3s_, port); }
  bool smtpListening() const { return smtp_.socket.isListening(); }
  bool pop3Listening() const { return pop3_.socket.isListening(); }
  bool pop3sListening() const { return pop3s_.socket.isListening(); }
  quint16 smtpPort() const { return smtp_.socket.serverPort(); }
  quint16 pop3Port() const { return pop3_.socket.serverPort(); }
  quint16 smtpsPort() const { return smtps_.socket.serverPort(); }
  quint16 pop3sPort() const { return pop3s_.socket.serverPort(); }
  const PortState& smtpState() const { return smtp_.state; }
  const PortState& pop3State() const { return pop3_.state; }
  const PortState& smtpsState() const { return smtps_.state; }
  const PortState& pop3sState() const { return pop3s_.state; }
  // The address every port binds to at its next listen; any address when null.
  void setListenAddress(const QHostAddress& address) { address_ = address; }
  // Connections are QSslSocket; those of the TLS ports are encrypted when handed over.
  std::function<void(QTcpSocket* client)> onSmtpClient;
  std::function<void(QTcpSocket* client)> onPop3Client;
  // The server has begun to listen.
  std::function<void()> onSmtpListens;
  std::function<void()> onPop3Listens;
  std::function<void()> onSmtpsListens;
  std::function<void()> onPop3sListens;
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

  // The servers' TLS configuration in force; none when no certificate could be had (then no
  // TLS is offered and the TLS ports close what they accept).
  std::function<std::optional<QSslConfiguration>()> serverTls;
  std::optional<QSslConfiguration> tlsConfiguration() const {
    return serverTls ? serverTls() : std::nullopt;
  }
  // Starts the server's handshake on a connection; false when there is no configuration.
  bool startTls(QSslSocket& socket) const;
  // The same after STARTTLS or STLS was answered: what the client sent after the command is
  // dropped first, never to be taken as commands.
  bool startTlsAfterCommand(QSslSocket& socket) const;
  // A handshake failed: logged through onTlsFailed at most once an hour per address.
  void tlsFailed(const QString& server, const QString& address, const QString& reason);
  std::function<void(const QString& server, const QString& address, const QString& reason)>
      onTlsFailed;
  // The catalogue text n, for the reasons of those lines.
  std::function<QString(int n)> text;
  // A handshake not done by then closes the connection.
  static constexpr Tick kHandshakeMs = 30000;

  // Wrong passwords by address, counted across SMTP and POP3: a guesser gains nothing by
  // switching servers.
  LoginThrottle& loginThrottle() { return loginThrottle_; }

  static constexpr int kAcceptPauseMs = 1000;
  // Descriptors no connection may take (a quarter of a small table).
  static constexpr qintptr kDescriptorReserve = 32;

 private:
  using Dialogue = std::function<void(QTcpSocket*)> MailListeners::*;
  using Listens = std::function<void()> MailListeners::*;
  using Failed = std::function<void(const QString&)> MailListeners::*;
  struct Server {
    Server(const char* name, const char* refusal, Dialogue d, Listens l, Failed f, bool tls = false)
        : dialogue(d), listens(l), failed(f), tooMany(refusal), implicitTls(tls) {
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
    bool implicitTls;            // TLS from the first byte
  };

  bool listen(Server& server, int port);
  void acceptWaiting(Server& server);
  void acceptFailed(Server& server, const QString& reason);
  // Counts the connection in, or refuses it when it is over a bound; false when refused.
  bool admit(Server& server, QTcpSocket* client, qintptr descriptor);
  // Hands a connection of a TLS port to its dialogue once its handshake is done.
  void handOverEncrypted(Server& server, QSslSocket* client);

  std::map<QString, int> perHost_;  // open connections by address
  int total_ = 0;
  QHostAddress address_{QHostAddress::Any};
  TlsFailures tlsFailures_;
  LoginThrottle loginThrottle_;
  QElapsedTimer uptime_;  // the clock of tlsFailures_

  Server smtp_{"SMTP", "421 4.7.0 Kolvane too many connections\r\n", &MailListeners::onSmtpClient,
               &MailListeners::onSmtpListens, &MailListeners::onSmtpAcceptFailed};
  Server pop3_{"POP3", "-ERR [SYS/TEMP] too many connections\r\n", &MailListeners::onPop3Client,
               &MailListeners::onPop3Listens, &MailListeners::onPop3AcceptFailed};
  // The TLS ports report as their plain servers do, under their own names.
  Server smtps_{"SMTPS",
                "421 4.7.0 Kolvane too many connections\r\n",
                &MailListeners::onSmtpClient,
                &MailListeners::onSmtpsListens,
                &MailListeners::onSmtpAcceptFailed,
                true};
  Server pop3s_{"POP3S",
                "-ERR [SYS/TEMP] too many connections\r\n",
                &MailListeners::onPop3Client,
                &MailListeners::onPop3sListens,
                &MailListeners::onPop3AcceptFailed,
                true};
};

// The peer in dotted form; an IPv4 client of the dual-stack listener shows as IPv4.
QString dottedAddress(const QHostAddress& peer);

}  // namespace kolvane
