#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>

#include "mail/client_limits.h"
#include "mail/client_registry.h"
#include "mail/smtp_line_reader.h"
#include "mail/smtp_server_state.h"

class QTcpSocket;

namespace kolvane {

class GatewayContext;
class TMailRecv;

// The SMTP server's connection layer: admits the connections accepted on SmtpPort, keeps the
// registry of client PCs, serves one dialogue at a time and hands the server to the clients
// waiting in the order they came, reads the served connection's lines into the dialogue,
// sends each reply as it is set (one set while nobody is served waits for the main cycle's
// delivery), and closes the connection when it stays silent.
class TdmSMTP : public QObject {
  Q_OBJECT

 public:
  // Wires itself into the gateway: accepted connections, the registry load of start-up, the
  // main cycle's reply delivery and the file drop's session check.
  explicit TdmSMTP(GatewayContext& g, QObject* parent = nullptr);
  ~TdmSMTP() override;

  // Loads the registry from the settings file (start-up).
  void ClientsInit();
  // Main cycle: closes the served connection when it has been silent too long, then sends
  // the pending reply to it, or discards it.
  void deliverReply();

  // Clients-window actions, by the PC's registry name. Deleting and switching act only on a
  // PC that is not connected; false when nothing was done.
  bool deleteItem(const QString& name);
  bool switchOnOff(const QString& name);
  bool disconnectClient(const QString& name);

  // The registry name of a connection; "!?!?!?!" when none is registered.
  QString SocketToNamePCorIPAdr(std::int32_t handle) const { return registry_.nameOf(handle); }

  const QList<tSocketClient>& Clients() const { return registry_.clients(); }
  std::int32_t SmtpRunSockHandle() const { return runHandle_; }
  const QString& SmtpRunName() const { return runName_; }
  SmtpServerState& server() { return server_; }
  TMailRecv& mailRecv() { return *recv_; }
  // Connections open now: served, waiting or still being named.
  std::size_t connectionCount() const { return conns_.size(); }

 Q_SIGNALS:
  // The registry changed; the clients window redraws.
  void clientsChanged();
  // Status line of the clients window while a connecting PC is named ("" when done).
  void connectStatus(const QString& text);

 private:
  struct Connection {
    QPointer<QTcpSocket> socket;
    QString name;
    SmtpLineReader reader{kMaxLineBytes};
    bool registered = false;  // named and entered in the registry
    bool ended = false;       // closed; its end is queued
  };

  void accept(QTcpSocket* socket);
  void clientConnect(std::int32_t handle, const QString& name);
  void clientRead(std::int32_t handle);
  void clientEnded(std::int32_t handle);
  void clientClose(std::int32_t handle);
  void serve(std::int32_t handle);
  void closeIfIdle();
  // The served connection while it is connected, else null.
  const Connection* servedConnection();
  // Sends the pending reply to the served connection, or discards it.
  void sendReply(bool discard);
  // Reads what the served connection has sent: the count of bytes taken, 0 when none, -1 on
  // a failure (logged; one that throws closes the connection).
  qint64 readStep(Connection& c, std::int32_t handle);
  void refreshRegistryConnections();
  Connection* connection(std::int32_t handle);

  GatewayContext& g_;
  SmtpServerState server_;
  std::unique_ptr<TMailRecv> recv_;
  ClientRegistry registry_;
  std::map<std::int32_t, Connection> conns_;  // by handle, in the order of connecting
  std::int32_t nextHandle_ = 0;
  std::int32_t runHandle_ = 0;
  QString runName_;
  bool connectBusy_ = false;
  bool clientRun_ = false;
  IdleWatch idle_{idleTimeoutMs(kSmtpIdleMs)};
};

}  // namespace kolvane
