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
#include "mail/pop3_dialogue.h"
#include "mail/pop3_server_state.h"
#include "platform/clock.h"

class QTimer;

namespace kolvane {

class GatewayContext;

// The POP3 server's connection layer: admits the connections accepted on Pop3Port, keeps the
// registry of client PCs with their saved store positions, and serves every admitted
// connection as its own session, side by side: each has its dialogue, its pending reply (sent
// as soon as it is set, held back by the pause after its connect), its time-outs, and is read
// as its bytes arrive. One session at a time holds a PC's mailbox.
class TdmPOP3 : public QObject {
  Q_OBJECT

 public:
  // Wires itself into the gateway: accepted connections, the registry load of start-up and the
  // main cycle's reply delivery.
  explicit TdmPOP3(GatewayContext& g, QObject* parent = nullptr);
  ~TdmPOP3() override;

  // Loads the registry and the saved positions from the settings file (start-up).
  void ClientsInit();
  // Main cycle: closes the sessions whose time is up, ends the pauses that are over and sends
  // what replies are pending.
  void deliverReply();

  // Clients-window actions, by the PC's registry name. Deleting and switching act only on a
  // PC that is not connected; false when nothing was done.
  bool deleteItem(const QString& name);
  bool switchOnOff(const QString& name);
  bool disconnectClient(const QString& name);

  // The registry name of a connection; "!?!?!?!?!" when none is registered.
  QString SocketToNamePCorIPAdr(std::int32_t handle) const;

  const QList<tSocketClient>& Clients() const { return registry_.clients(); }
  // Connections open now: served or still being named.
  std::size_t connectionCount() const { return sessions_.size(); }
  // Some session has a reply waiting to leave.
  bool replyPending() const;

  // The pause after a connect, during which that connection is neither read nor sent to.
  static constexpr Tick kConnectPauseMs = 1000;

 Q_SIGNALS:
  // The registry changed; the clients window redraws.
  void clientsChanged();
  // Status line of the clients window while a connecting PC is named ("" when done).
  void connectStatus(const QString& text);

 private:
  struct Session {
    Session(GatewayContext& g, QTcpSocket* s, Tick limitMs, Tick now)
        : socket(s), dialogue(g, server), watch(limitMs, now) {}
    QPointer<QTcpSocket> socket;
    QString name;
    QString address;
    Pop3ServerState server;  // its own pending reply
    Pop3Dialogue dialogue;
    SessionWatch watch;
    bool registered = false;  // named (and, but for an untrusted login with accounts, listed)
    bool listed = false;      // in the registry under its name (with accounts: once logged in)
    bool ended = false;       // closed; its end is queued
    bool paused = true;       // the pause after its connect, or a login answer that waits
    Tick pauseEnd = 0;
    qsizetype done = 0;  // messages retrieved or deleted
  };

  // Sends the pending reply of a session unless its pause holds it back.
  void sendReply(Session& s);
  // Ends the pause after a session's connect once its time is over.
  void endPauseIfOver(std::int32_t handle);
  // USER of a session: another session of the same PC from the same address is closed, one
  // from another address keeps the mailbox.
  bool mayOpenMailbox(std::int32_t handle);
  // PASS of a session with accounts set: its answer may wait, and the account becomes the
  // client's registry name; false when the account is switched off (the connection closes).
  bool login(std::int32_t handle, const LoginResult& result);

  void accept(QTcpSocket* socket);
  void clientConnect(std::int32_t handle, const QString& name);
  void clientRead(std::int32_t handle);
  void clientEnded(std::int32_t handle);
  void Pop3ClientClose(std::int32_t handle);
  void checkTimeouts();
  void refreshRegistryConnections();
  Session* session(std::int32_t handle);

  GatewayContext& g_;
  ClientRegistry registry_;
  std::map<std::int32_t, std::unique_ptr<Session>> sessions_;  // by handle, in connect order
  std::int32_t nextHandle_ = 0;
  QTimer* watchTimer_;
};

}  // namespace kolvane
