#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <map>

#include "mail/client_limits.h"
#include "mail/client_registry.h"
#include "mail/pop3_dialogue.h"
#include "mail/pop3_server_state.h"
#include "platform/clock.h"

class QTcpSocket;

namespace kolvane {

class GatewayContext;

// The POP3 server's connection layer: admits the connections accepted on Pop3Port, keeps the
// registry of client PCs with their saved store positions, serves one dialogue at a time and
// hands the server to the clients waiting in the order they came, reads the served connection
// into the dialogue, sends each reply as it is set (held back by the pause after a connect
// until the main cycle's delivery), and closes the connection when it stays silent.
class TdmPOP3 : public QObject {
  Q_OBJECT

 public:
  // Wires itself into the gateway: accepted connections, the registry load of start-up and the
  // main cycle's reply delivery.
  explicit TdmPOP3(GatewayContext& g, QObject* parent = nullptr);
  ~TdmPOP3() override;

  // Loads the registry and the saved positions from the settings file (start-up).
  void ClientsInit();
  // Main cycle: closes the served connection when it has been silent too long, then sends
  // the pending reply to it, or discards it.
  void deliverReply();

  // Clients-window actions, by the PC's registry name. Deleting and switching act only on a
  // PC that is not connected; false when nothing was done.
  bool deleteItem(const QString& name);
  bool switchOnOff(const QString& name);
  bool disconnectClient(const QString& name);

  // The registry name of a connection; "!?!?!?!?!" when none is registered.
  QString SocketToNamePCorIPAdr(std::int32_t handle) const;

  const QList<tSocketClient>& Clients() const { return registry_.clients(); }
  Pop3ServerState& server() { return server_; }
  Pop3Dialogue& dialogue() { return dialogue_; }
  // Connections open now: served, waiting or still being named.
  std::size_t connectionCount() const { return conns_.size(); }

  // The pause after a connect, during which the served connection is neither read nor sent to.
  static constexpr Tick kConnectPauseMs = 1000;

 Q_SIGNALS:
  // The registry changed; the clients window redraws.
  void clientsChanged();
  // Status line of the clients window while a connecting PC is named ("" when done).
  void connectStatus(const QString& text);

 private:
  struct Connection {
    QPointer<QTcpSocket> socket;
    QString name;
    bool registered = false;  // named and entered in the registry
    bool ended = false;       // closed; its end is queued
  };

  // Sends the pending reply to the served connection unless a connect is being handled.
  void sendReply();
  // Ends the pause after a connect once its time is over.
  void endPauseIfOver();

  void accept(QTcpSocket* socket);
  void clientConnect(std::int32_t handle, const QString& name);
  void clientRead(std::int32_t handle);
  void clientEnded(std::int32_t handle);
  void Pop3ClientClose(std::int32_t handle);
  void serve(std::int32_t handle, const QByteArray& greeting);
  void closeIfIdle();
  std::int32_t nextToServe() const;
  void refreshRegistryConnections();
  void updateBusy();
  Connection* connection(std::int32_t handle);

  GatewayContext& g_;
  Pop3ServerState server_;
  Pop3Dialogue dialogue_;
  ClientRegistry registry_;
  std::map<std::int32_t, Connection> conns_;  // by handle, in the order of connecting
  std::int32_t nextHandle_ = 0;
  int naming_ = 0;  // connects waiting for their name
  bool paused_ = false;
  Tick pauseEnd_ = 0;
  IdleWatch idle_{idleTimeoutMs(kPop3IdleMs)};
};

}  // namespace kolvane
