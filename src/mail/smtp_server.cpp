#include "mail/smtp_server.h"

#include <QHostInfo>
#include <QTcpSocket>
#include <algorithm>
#include <exception>
#include <limits>

#include "context/gateway_context.h"
#include "mail/mail_listeners.h"
#include "mail/mail_recv.h"
#include "mail/socket_read.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

// The peer in dotted form; an IPv4 client of the dual-stack listener shows as IPv4.
QString dottedAddress(const QHostAddress& peer) {
  bool v4 = false;
  const quint32 ip4 = peer.toIPv4Address(&v4);
  return v4 ? QHostAddress(ip4).toString() : peer.toString();
}

// Clears a flag on every way out of a handler.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TdmSMTP::TdmSMTP(GatewayContext& g, QObject* parent)
    : QObject(parent),
      g_(g),
      recv_(std::make_unique<TMailRecv>(g, server_)),
      registry_(QStringLiteral("SmtpCliDateTime"), QStringLiteral("SmtpCliOnOff")) {
  MailListeners& l = g_.listeners();
  l.onSmtpClient = [this](QTcpSocket* socket) { accept(socket); };
  l.onSmtpListens = [this] { g_.Log(true, QStringLiteral("SMTP ") + g_.Text(89)); };
  l.onSmtpAcceptFailed = [this](const QString& reason) {
    g_.Log(true, acceptFailedText(QStringLiteral("SMTP"), reason));
  };
  GatewayHooks& hooks = g_.hooks();
  hooks.loadClientLists = [this, previous = std::move(hooks.loadClientLists)] {
    if (previous) previous();
    ClientsInit();
  };
  hooks.cycle.deliverSmtpReply = [this] { deliverReply(); };
  // Replies leave as they are set; one set with nobody to hear it waits for the cycle.
  server_.onReply = [this] {
    if (servedConnection()) sendReply(false);
  };
  hooks.cycle.smtpSessionActive = [this] { return server_.SmtpNetRun; };
  // QUIT ends the connection once its reply has left.
  recv_->onQuit = [this] {
    if (const Connection* c = servedConnection()) c->socket->disconnectFromHost();
  };
  recv_->onStoreFinished = [this] {
    idle_.restart(g_.clock().tick());
    clientRead(runHandle_);
  };
}

TdmSMTP::~TdmSMTP() {
  MailListeners& l = g_.listeners();
  l.onSmtpClient = nullptr;
  l.onSmtpListens = nullptr;
  l.onSmtpAcceptFailed = nullptr;
  g_.hooks().cycle.deliverSmtpReply = nullptr;
  g_.hooks().cycle.smtpSessionActive = nullptr;
}

void TdmSMTP::ClientsInit() {
  const IniFile* file = g_.settingsFile();
  registry_.load(file ? file->read() : IniText(), g_.clock().now(),
                 [this](const QString& line) { g_.Log(true, line); });
  Q_EMIT clientsChanged();
}

TdmSMTP::Connection* TdmSMTP::connection(std::int32_t handle) {
  const auto it = conns_.find(handle);
  return it == conns_.end() ? nullptr : &it->second;
}

void TdmSMTP::accept(QTcpSocket* socket) {
  if (nextHandle_ == std::numeric_limits<std::int32_t>::max()) nextHandle_ = 0;
  const std::int32_t handle = ++nextHandle_;
  socket->setParent(this);
  // Until its turn a client's bytes stay in the kernel, whatever it sends.
  socket->setReadBufferSize(kWaitingReadBuffer);
  conns_[handle].socket = socket;
  connect(socket, &QTcpSocket::readyRead, this, [this, handle] { clientRead(handle); });
  connect(socket, &QTcpSocket::bytesWritten, this, [this, handle] {
    if (handle != runHandle_) return;
    idle_.restart(g_.clock().tick());
    // Reading held back for replies the client had not taken goes on.
    clientRead(handle);
  });
  connect(socket, &QTcpSocket::disconnected, this, [this, handle] { clientEnded(handle); });
  connect(socket, &QTcpSocket::errorOccurred, this,
          [this, handle](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError) {
              const Connection* c = connection(handle);
              if (c && c->socket) {
                g_.Log(true, QStringLiteral("SMTP Socket Error ReceiveBuf"));
                g_.Log(g_.state().cfg.Debug,
                       QStringLiteral("SMTP Socket Error ") + c->socket->errorString());
              }
            }
            clientEnded(handle);
          });

  const QString address = dottedAddress(socket->peerAddress());
  if (g_.state().cfg.DNSOff) {
    clientConnect(handle, address);
    return;
  }
  // The look-up runs beside the loop; the client is admitted when its name is known.
  Q_EMIT connectStatus(QStringLiteral("Unknown Client Connect"));
  QHostInfo::lookupHost(address, this, [this, handle, address](const QHostInfo& info) {
    Q_EMIT connectStatus(QString());
    const bool named = info.error() == QHostInfo::NoError && !info.hostName().isEmpty();
    clientConnect(handle, named ? info.hostName() : address);
  });
}

void TdmSMTP::clientConnect(std::int32_t handle, const QString& name) {
  Connection* c = connection(handle);
  // Gone while it was being named: its queued end removes it quietly.
  if (!c || c->ended || !c->socket) return;
  {
    FlagScope busy(connectBusy_);
    GatewayState& gs = g_.state();
    c->name = name;
    c->registered = true;
    const tSocketClient& entry =
        registry_.connect(name, handle, g_.clock().now(), {gs.cfg.SmtpCliLimOn, gs.cfg.SmtpCliMax},
                          g_.settingsFile());
    const bool admitted = entry.SetOn;
    g_.Log(true, fillPlaceholders(g_.Text(36), {name}));
    gs.Lamps.smtpBits |= kLampClient;
    if (!admitted) {
      // Closed at once and never served: a dialogue in progress goes on undisturbed.
      clientEnded(handle);
      c->socket->abort();
    } else if (runHandle_ == 0) {
      serve(handle);
    }
  }
  Q_EMIT clientsChanged();
}

void TdmSMTP::serve(std::int32_t handle) {
  Connection* c = connection(handle);
  runHandle_ = handle;
  runName_ = c->name;
  c->socket->setReadBufferSize(kServedReadBuffer);
  idle_.restart(g_.clock().tick());
  recv_->StartInitX(c->name);
  // Whatever it sent while it waited is read now.
  clientRead(handle);
}

void TdmSMTP::clientRead(std::int32_t handle) {
  if (handle != runHandle_ || clientRun_) return;
  Connection* c = connection(handle);
  if (!c || c->ended || !c->socket) return;
  FlagScope running(clientRun_);
  // A mail being stored, or replies the client has not taken, hold further bytes back in the
  // kernel; both resume the reading when they are done.
  while (!recv_->Storing() && c->socket && c->socket->bytesToWrite() <= kMaxUnsentBytes) {
    if (readStep(*c, handle) <= 0) break;
  }
}

qint64 TdmSMTP::readStep(Connection& c, std::int32_t handle) {
  SocketRead read = ReadWaitingBytes(*c.socket, QStringLiteral("SMTP"),
                                     [this](const QString& line) { g_.Log(true, line); });
  if (read.outcome == SocketRead::Threw) {
    clientEnded(handle);
    c.socket->abort();
  }
  if (read.outcome != SocketRead::Bytes) return read.outcome == SocketRead::Nothing ? 0 : -1;
  const QByteArray bytes = std::move(read.bytes);
  const bool debug = g_.state().cfg.Debug;
  try {
    c.reader.feed(bytes, [this, debug](const QByteArray& line, qsizetype dropped) {
      idle_.restart(g_.clock().tick());
      g_.Log(debug, QStringLiteral("SMTP DATA<-|") + loggedText(line) + QLatin1Char('|'));
      recv_->AddRecvStr(line, dropped);
    });
  } catch (const std::exception&) {
    // The rest of this read is lost; the connection goes on.
    c.reader.clearLine();
  }
  return bytes.size();
}

void TdmSMTP::closeIfIdle() {
  Connection* c = runHandle_ != 0 ? connection(runHandle_) : nullptr;
  if (!c || c->ended || !c->socket || recv_->Storing()) return;
  if (!idle_.expired(g_.clock().tick())) return;
  g_.Log(true, QStringLiteral("SMTP client \"%1\" silent for %2 s: connection closed")
                   .arg(c->name)
                   .arg(idle_.limitMs() / 1000.0));
  clientEnded(runHandle_);
  c->socket->abort();
}

void TdmSMTP::clientEnded(std::int32_t handle) {
  Connection* c = connection(handle);
  if (!c || c->ended) return;
  c->ended = true;
  registry_.forgetHandle(handle);
  // Queued, so that the socket finishes its own signal first.
  QMetaObject::invokeMethod(
      this, [this, handle] { clientClose(handle); }, Qt::QueuedConnection);
}

void TdmSMTP::clientClose(std::int32_t handle) {
  const auto it = conns_.find(handle);
  if (it == conns_.end()) return;
  Connection c = std::move(it->second);
  conns_.erase(it);
  if (c.socket) {
    c.socket->disconnect(this);
    c.socket->abort();
    c.socket->deleteLater();
  }
  if (!c.registered) return;

  g_.Log(true, fillPlaceholders(g_.Text(37), {c.name}));
  refreshRegistryConnections();
  // Only the end of the served dialogue hands the server over; a waiting or refused client
  // that leaves does not disturb it.
  if (handle == runHandle_) {
    runHandle_ = 0;
    runName_.clear();
    recv_->EndSession();
    // Handles grow with every connection: the first one waiting came first.
    const auto next = std::find_if(conns_.begin(), conns_.end(), [](const auto& entry) {
      return entry.second.registered && !entry.second.ended && entry.second.socket;
    });
    if (next != conns_.end()) serve(next->first);
  }
  if (runHandle_ == 0) {
    server_.clearReply();
    g_.state().Lamps.smtpBits &= ~kLampClient;
  }
  Q_EMIT clientsChanged();
}

void TdmSMTP::refreshRegistryConnections() {
  for (tSocketClient& e : registry_.clients()) {
    e.Handle = 0;
    e.ConOn = false;
  }
  // A PC with several connections shows its latest one.
  for (const auto& [h, c] : conns_) {
    if (!c.registered || c.ended) continue;
    if (tSocketClient* e = registry_.find(c.name)) {
      e->Handle = h;
      e->ConOn = true;
    }
  }
}

const TdmSMTP::Connection* TdmSMTP::servedConnection() {
  const Connection* c = runHandle_ != 0 ? connection(runHandle_) : nullptr;
  if (!c || c->ended || !c->socket || c->socket->state() != QAbstractSocket::ConnectedState) {
    return nullptr;
  }
  return c;
}

void TdmSMTP::deliverReply() {
  closeIfIdle();
  sendReply(connectBusy_);
}

void TdmSMTP::sendReply(bool discard) {
  if (!server_.SmtpSendOn || server_.SmtpSendStr.isEmpty()) return;
  server_.SmtpSendOn = false;
  const QByteArray reply = server_.SmtpSendStr;
  const QString shown = QString::fromLocal8Bit(reply);
  const bool debug = g_.state().cfg.Debug;
  g_.Log(debug, QStringLiteral("SMTP DATA->|") + shown + QLatin1Char('|'));
  const Connection* c = servedConnection();
  if (discard || !c) {
    g_.Log(debug, QStringLiteral("SMTP DATA-> discard"));
    return;
  }
  // The socket keeps what the network does not take at once and sends it on the loop.
  const QByteArray data = reply + "\r\n";
  if (c->socket->write(data) != data.size()) {
    g_.Log(true, QStringLiteral("SMTP Send Error  ->|") + shown + QLatin1Char('|'));
  }
}

bool TdmSMTP::deleteItem(const QString& name) {
  if (!registry_.deleteItem(name, g_.settingsFile())) return false;
  Q_EMIT clientsChanged();
  return true;
}

bool TdmSMTP::switchOnOff(const QString& name) {
  if (!registry_.switchOnOff(name, g_.settingsFile())) return false;
  Q_EMIT clientsChanged();
  return true;
}

bool TdmSMTP::disconnectClient(const QString& name) {
  QList<QPointer<QTcpSocket>> sockets;
  for (const auto& [h, c] : conns_) {
    if (c.registered && !c.ended && c.name == name && c.socket) sockets << c.socket;
  }
  // Their disconnect events end the dialogues.
  for (const QPointer<QTcpSocket>& s : sockets) {
    if (s) s->disconnectFromHost();
  }
  return !sockets.isEmpty();
}

}  // namespace kolvane
