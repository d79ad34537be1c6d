#include "mail/pop3_server.h"

#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>

#include "context/gateway_context.h"
#include "mail/mail_listeners.h"
#include "mail/socket_read.h"
#include "platform/ini_file.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

// The dotted form of the peer, also for an IPv4 client of a dual-stack listener.
QString peerAddressText(const QTcpSocket& socket) {
  const QHostAddress peer = socket.peerAddress();
  bool isV4 = false;
  const quint32 v4 = peer.toIPv4Address(&isV4);
  return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

}  // namespace

TdmPOP3::TdmPOP3(GatewayContext& g, QObject* parent)
    : QObject(parent),
      g_(g),
      dialogue_(g, server_),
      registry_(QStringLiteral("Pop3CliDateTime"), QStringLiteral("Pop3CliOnOff")) {
  g.listeners().onPop3Client = [this](QTcpSocket* socket) { accept(socket); };
  g.listeners().onPop3Listens = [this] { g_.Log(true, QStringLiteral("POP3 ") + g_.Text(89)); };
  g.listeners().onPop3AcceptFailed = [this](const QString& reason) {
    g_.Log(true, acceptFailedText(QStringLiteral("POP3"), reason));
  };
  GatewayHooks& hooks = g.hooks();
  // The SMTP registry loads through the same hook.
  hooks.loadClientLists = [this, before = hooks.loadClientLists] {
    if (before) before();
    ClientsInit();
  };
  hooks.cycle.deliverPop3Reply = [this] { deliverReply(); };
  // Replies leave as they are set; during the pause after a connect they wait for the cycle.
  server_.onReply = [this] {
    const Connection* conn = connection(server_.Pop3RunSockHandle);
    if (server_.Pop3RunSockHandle != 0 && conn && conn->socket) sendReply();
  };
  dialogue_.onPositionSaved = [this](const QString& client, const QByteArray& position) {
    if (tSocketClient* c = registry_.find(client)) c->PosID = position;
    Q_EMIT clientsChanged();
  };
}

TdmPOP3::~TdmPOP3() {
  g_.listeners().onPop3Client = nullptr;
  g_.listeners().onPop3Listens = nullptr;
  g_.listeners().onPop3AcceptFailed = nullptr;
  g_.hooks().cycle.deliverPop3Reply = nullptr;
  for (auto& [handle, conn] : conns_) {
    if (conn.socket) conn.socket->disconnect(this);
  }
}

void TdmPOP3::ClientsInit() {
  IniFile* file = g_.settingsFile();
  const IniText ini = file ? file->read() : IniText();
  registry_.load(ini, g_.clock().now(), [this](const QString& line) { g_.Log(true, line); });
  for (tSocketClient& c : registry_.clients()) {
    c.PosID = ini.value(QStringLiteral("ClientsPos"), c.Name, QStringLiteral("????")).toLatin1();
  }
  Q_EMIT clientsChanged();
}

QString TdmPOP3::SocketToNamePCorIPAdr(std::int32_t handle) const {
  for (const tSocketClient& c : registry_.clients()) {
    if (handle != 0 && c.Handle == handle) return c.Name;
  }
  return QStringLiteral("!?!?!?!?!");
}

TdmPOP3::Connection* TdmPOP3::connection(std::int32_t handle) {
  const auto it = conns_.find(handle);
  return it == conns_.end() ? nullptr : &it->second;
}

void TdmPOP3::updateBusy() {
  server_.Pop3ConnectBusy = naming_ > 0 || paused_;
}

void TdmPOP3::accept(QTcpSocket* socket) {
  const std::int32_t handle = ++nextHandle_;
  // Until its turn a client's bytes stay in the kernel, whatever it sends.
  socket->setReadBufferSize(kWaitingReadBuffer);
  conns_[handle].socket = socket;
  connect(socket, &QTcpSocket::readyRead, this, [this, handle] { clientRead(handle); });
  connect(socket, &QTcpSocket::bytesWritten, this, [this, handle] {
    if (handle != server_.Pop3RunSockHandle) return;
    idle_.restart(g_.clock().tick());
    // Reading held back for replies the client had not taken goes on.
    clientRead(handle);
  });
  connect(socket, &QTcpSocket::disconnected, this, [this, handle] { clientEnded(handle); });
  connect(socket, &QTcpSocket::errorOccurred, this,
          [this, handle, socket](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError) {
              g_.Log(true, QStringLiteral("POP3 Socket Error ReceiveBuf"));
              g_.Log(g_.state().cfg.Debug,
                     QStringLiteral("POP3 Socket Error ") + socket->errorString());
            }
            clientEnded(handle);
            if (socket->state() != QAbstractSocket::UnconnectedState) socket->abort();
          });

  ++naming_;
  updateBusy();
  Q_EMIT connectStatus(QStringLiteral("Unknown Client Connect"));
  g_.Log(g_.state().cfg.Debug,
         QStringLiteral("POP3 ClientConnect ") + QString::number(conns_.size()));
  const QString address = peerAddressText(*socket);
  if (g_.state().cfg.DNSOff) {
    clientConnect(handle, address);
    return;
  }
  // The reverse look-up runs beside the loop; the connection waits for its name.
  QHostInfo::lookupHost(address, this, [this, handle, address](const QHostInfo& info) {
    const bool named = info.error() == QHostInfo::NoError && !info.hostName().isEmpty();
    clientConnect(handle, named ? info.hostName() : address);
  });
}

void TdmPOP3::clientConnect(std::int32_t handle, const QString& name) {
  --naming_;
  Connection* conn = connection(handle);
  if (!conn || conn->ended || !conn->socket) {
    updateBusy();
    return;  // gone before it was named
  }
  GatewayState& gs = g_.state();
  const tSocketClient& entry = registry_.connect(
      name, handle, g_.clock().now(), {gs.cfg.Pop3CliLimOn, gs.cfg.Pop3CliMax}, g_.settingsFile());
  const bool allowed = entry.SetOn;
  conn->name = name;
  conn->registered = true;
  Q_EMIT connectStatus(QString());
  Q_EMIT clientsChanged();
  g_.Log(gs.cfg.Debug, QStringLiteral("POP3 ClientConnect ") + name);
  g_.Log(true, fillPlaceholders(g_.Text(29), {name}));
  gs.Lamps.pop3Bits |= kLampClient;

  if (!allowed) {
    // Only the client that would have been served hears why.
    if (server_.Pop3RunSockHandle == 0) conn->socket->write("-ERR POP3 access denied");
    registry_.forgetHandle(handle);
    conn->socket->disconnectFromHost();
  } else if (server_.Pop3RunSockHandle == 0) {
    serve(handle, "+OK POP3 server ready");
  }
  paused_ = true;
  pauseEnd_ = g_.clock().tick() + kConnectPauseMs;
  updateBusy();
  // The pause ends on time rather than at the next tick after it.
  QTimer::singleShot(kConnectPauseMs, this, [this] { endPauseIfOver(); });
}

void TdmPOP3::serve(std::int32_t handle, const QByteArray& greeting) {
  Connection* conn = connection(handle);
  server_.Pop3RunSockHandle = handle;
  server_.Pop3RunName = conn ? conn->name : QString();
  if (conn && conn->socket) conn->socket->setReadBufferSize(kServedReadBuffer);
  idle_.restart(g_.clock().tick());
  dialogue_.start(server_.Pop3RunName);
  server_.setReply(greeting);
  // What a waiting client already sent stays unread until now.
  clientRead(handle);
}

void TdmPOP3::clientRead(std::int32_t handle) {
  if (handle == 0 || handle != server_.Pop3RunSockHandle || server_.Pop3ConnectBusy) return;
  Connection* conn = connection(handle);
  if (!conn || !conn->socket) return;
  // Lines may replace each other's reply, so a whole burst is read at once; replies the
  // client has not taken hold further bytes back in the kernel until they have left.
  while (conn->socket && handle == server_.Pop3RunSockHandle &&
         conn->socket->bytesToWrite() <= kMaxUnsentBytes) {
    const SocketRead read = ReadWaitingBytes(*conn->socket, QStringLiteral("POP3"),
                                             [this](const QString& line) { g_.Log(true, line); });
    if (read.outcome != SocketRead::Bytes) break;
    if (dialogue_.AddRecvBytes(read.bytes) > 0) idle_.restart(g_.clock().tick());
  }
}

void TdmPOP3::closeIfIdle() {
  Connection* conn = connection(server_.Pop3RunSockHandle);
  if (!conn || conn->ended || !conn->socket) return;
  if (!idle_.expired(g_.clock().tick())) return;
  g_.Log(true, QStringLiteral("POP3 client \"%1\" silent for %2 s: connection closed")
                   .arg(conn->name)
                   .arg(idle_.limitMs() / 1000.0));
  clientEnded(server_.Pop3RunSockHandle);
  conn->socket->abort();
}

void TdmPOP3::clientEnded(std::int32_t handle) {
  Connection* conn = connection(handle);
  if (!conn || conn->ended) return;
  conn->ended = true;
  registry_.forgetHandle(handle);
  // Queued, so the socket layer finishes its own clean-up first.
  QTimer::singleShot(0, this, [this, handle] { Pop3ClientClose(handle); });
}

void TdmPOP3::refreshRegistryConnections() {
  for (tSocketClient& c : registry_.clients()) {
    const Connection* conn = c.Handle != 0 ? connection(c.Handle) : nullptr;
    const bool open = conn && !conn->ended && conn->socket &&
                      conn->socket->state() == QAbstractSocket::ConnectedState;
    if (!open) c.Handle = 0;
    c.ConOn = open;
  }
}

std::int32_t TdmPOP3::nextToServe() const {
  // Handles grow with every connection: the first one waiting came first.
  for (const auto& [handle, conn] : conns_) {
    if (conn.registered && !conn.ended && conn.socket &&
        conn.socket->state() == QAbstractSocket::ConnectedState) {
      return handle;
    }
  }
  return 0;
}

void TdmPOP3::Pop3ClientClose(std::int32_t handle) {
  const auto it = conns_.find(handle);
  if (it == conns_.end()) return;
  const QString name = it->second.registered ? it->second.name : SocketToNamePCorIPAdr(handle);
  if (it->second.socket) it->second.socket->deleteLater();
  conns_.erase(it);
  g_.Log(true, fillPlaceholders(g_.Text(30), {name}));
  refreshRegistryConnections();

  // Only the end of the served connection hands the server on; a waiting client that gives
  // up leaves the dialogue in progress alone.
  if (handle == server_.Pop3RunSockHandle || server_.Pop3RunSockHandle == 0) {
    const std::int32_t next = nextToServe();
    if (next != 0) {
      serve(next, "+OK POP3");
    } else {
      server_.Pop3RunSockHandle = 0;
      server_.Pop3RunName.clear();
      server_.clearReply();
      dialogue_.start(QString());
      if (conns_.empty()) g_.state().Lamps.pop3Bits &= ~kLampClient;
    }
  }
  Q_EMIT clientsChanged();
}

void TdmPOP3::deliverReply() {
  closeIfIdle();
  endPauseIfOver();
  sendReply();
}

void TdmPOP3::endPauseIfOver() {
  if (!paused_ || static_cast<std::int32_t>(g_.clock().tick() - pauseEnd_) < 0) return;
  paused_ = false;
  updateBusy();
  // The greeting held back by the pause goes before the answers to early lines.
  sendReply();
  clientRead(server_.Pop3RunSockHandle);
}

void TdmPOP3::sendReply() {
  const GatewayState& gs = g_.state();
  if (!gs.Pop3Listen || !server_.Pop3SendOn || server_.Pop3SendStr.isEmpty()) return;
  // A connect being handled holds the reply back instead of losing it.
  if (server_.Pop3ConnectBusy) return;
  server_.Pop3SendOn = false;
  const QByteArray reply = server_.Pop3SendStr;
  g_.Log(gs.cfg.Debug,
         QStringLiteral("POP3 DATA->|") + QString::fromLatin1(reply) + QLatin1Char('|'));
  Connection* conn = connection(server_.Pop3RunSockHandle);
  if (conns_.empty() || server_.Pop3RunSockHandle == 0 || !conn) {
    g_.Log(gs.cfg.Debug, QStringLiteral("POP3 DATA-> discard"));
    return;
  }
  if (!conn->socket || conn->socket->state() != QAbstractSocket::ConnectedState) return;
  // The socket keeps whatever the network does not take at once and sends it as it drains,
  // so a long message reaches the client whole.
  const QByteArray data = reply + "\r\n";
  if (conn->socket->write(data) < data.size()) {
    g_.Log(true,
           QStringLiteral("POP3 Send Error  ->|") + QString::fromLatin1(reply) + QLatin1Char('|'));
  }
}

bool TdmPOP3::deleteItem(const QString& name) {
  if (!registry_.deleteItem(name, g_.settingsFile())) return false;
  Q_EMIT clientsChanged();
  return true;
}

bool TdmPOP3::switchOnOff(const QString& name) {
  if (!registry_.switchOnOff(name, g_.settingsFile())) return false;
  Q_EMIT clientsChanged();
  return true;
}

bool TdmPOP3::disconnectClient(const QString& name) {
  const tSocketClient* c = registry_.find(name);
  if (!c || c->Handle == 0) return false;
  Connection* conn = connection(c->Handle);
  if (!conn || !conn->socket || conn->ended) return false;
  conn->socket->disconnectFromHost();  // its disconnect event ends the dialogue
  return true;
}

}  // namespace kolvane
