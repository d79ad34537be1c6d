#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <cstdint>
#include <map>
#include <memory>

#include "mail/client_limits.h"
#include "mail/client_registry.h"
#include "mail/mail_recv.h"
#include "mail/smtp_line_reader.h"
#include "mail/smtp_server_state.h"

class QTimer;

namespace kolvane {

class GatewayContext;

// The SMTP server's connection layer: admits the connections accepted on SmtpPort, keeps the
// registry of client PCs, and serves every admitted connection as its own session, side by
// side: each has its dialogue, its pending reply (sent as soon as it is set) and its
// time-outs, and is read as its bytes arrive.
class TdmSMTP : public QObject {
  Q_OBJECT

 public:
  // Wires itself into the gateway: accepted connections, the registry load of start-up, the
  // main cycle's reply delivery and the file drop's session check.
  explicit TdmSMTP(GatewayContext& g, QObject* parent = nullptr);
  ~TdmSMTP() override;

  // Loads the registry from the settings file (start-up).
  void ClientsInit();
  // Main cycle: closes the sessions whose time is up, then sends what replies are pending.
  void deliverReply();

  // Clients-window actions, by the PC's registry name. Deleting and switching act only on a
  // PC that is not connected; false when nothing was done.
  bool deleteItem(const QString& name);
  bool switchOnOff(const QString& name);
  bool disconnectClient(const QString& name);

  // The registry name of a connection; "!?!?!?!" when none is registered.
  QString SocketToNamePCorIPAdr(std::int32_t handle) const { return registry_.nameOf(handle); }

  const QList<tSocketClient>& Clients() const { return registry_.clients(); }
  // Connections open now: served or still being named.
  std::size_t connectionCount() const { return sessions_.size(); }
  // Sessions being served now (admitted and open).
  std::size_t sessionCount() const;
  // The dialogue of the newest open session of a PC; null when it has none.
  const TMailRecv* mailRecv(const QString& name) const;
  // Some session has a reply waiting to leave.
  bool replyPending() const;

 Q_SIGNALS:
  // The registry changed; the clients window redraws.
  void clientsChanged();
  // Status line of the clients window while a connecting PC is named ("" when done).
  void connectStatus(const QString& text);

 private:
  struct Session {
    Session(GatewayContext& g, QTcpSocket* s, Tick limitMs, Tick now)
        : socket(s), recv(g, server), watch(limitMs, now) {}
    QPointer<QTcpSocket> socket;
    QString name;
    SmtpLineReader reader{kMaxLineBytes};
    SmtpServerState server;  // its own pending reply
    TMailRecv recv;
    SessionWatch watch;
    QString address;          // dotted
    bool trusted = false;     // in MailTrustedHosts
    bool registered = false;  // named and admitted
    bool listed = false;      // in the registry under its name (with accounts: once logged in)
    bool held = false;        // a login answer waits (wrong passwords from its address)
    Tick heldUntil = 0;
    bool ended = false;    // closed; its end is queued
    bool reading = false;  // its bytes are being read (re-entrancy guard)
  };

  void accept(QTcpSocket* socket);
  void clientConnect(std::int32_t handle, const QString& name);
  void clientRead(std::int32_t handle);
  void clientEnded(std::int32_t handle);
  void clientClose(std::int32_t handle);
  void serve(std::int32_t handle);
  // A login of the session was checked: its answer may wait, and an account becomes the
  // client's registry name; false when the account is switched off (the connection closes).
  bool login(std::int32_t handle, const LoginResult& result);
  // Ends a wait for a login answer once its time is over: the answer leaves, reading goes on.
  void releaseIfOver(std::int32_t handle);
  // Closes the sessions whose time is up and arms the check of the next one.
  void checkTimeouts();
  // Sends the pending reply of a session, or discards it when the client is gone.
  void sendReply(Session& s);
  // Reads what a session has sent: the count of bytes taken, 0 when none, -1 on a failure
  // (logged; one that throws closes the connection).
  qint64 readStep(Session& s, std::int32_t handle);
  void refreshRegistryConnections();
  Session* session(std::int32_t handle);
  Tick limitMs() const;

  GatewayContext& g_;
  ClientRegistry registry_;
  std::map<std::int32_t, std::unique_ptr<Session>> sessions_;  // by handle, in connect order
  std::int32_t nextHandle_ = 0;
  QTimer* watchTimer_;
};

}  // namespace kolvane
