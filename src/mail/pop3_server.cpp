#include "mail/pop3_server.h"

#include <QHostInfo>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <vector>

#include "context/gateway_context.h"
#include "mail/mail_listeners.h"
#include "mail/mail_login.h"
#include "mail/socket_read.h"
#include "platform/ini_file.h"
#include "settings/catalogue.h"

namespace kolvane {

TdmPOP3::TdmPOP3(GatewayContext& g, QObject* parent)
    : QObject(parent),
      g_(g),
      registry_(QStringLiteral("Pop3CliDateTime"), QStringLiteral("Pop3CliOnOff")),
      watchTimer_(new QTimer(this)) {
  watchTimer_->setSingleShot(true);
  connect(watchTimer_, &QTimer::timeout, this, [this] { checkTimeouts(); });
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
}

TdmPOP3::~TdmPOP3() {
  g_.listeners().onPop3Client = nullptr;
  g_.listeners().onPop3Listens = nullptr;
  g_.listeners().onPop3AcceptFailed = nullptr;
  g_.hooks().cycle.deliverPop3Reply = nullptr;
  for (auto& [handle, s] : sessions_) {
    if (s->socket) s->socket->disconnect(this);
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

TdmPOP3::Session* TdmPOP3::session(std::int32_t handle) {
  const auto it = sessions_.find(handle);
  return it == sessions_.end() ? nullptr : it->second.get();
}

bool TdmPOP3::replyPending() const {
  return std::any_of(sessions_.begin(), sessions_.end(),
                     [](const auto& e) { return e.second->server.Pop3SendOn; });
}

void TdmPOP3::accept(QTcpSocket* socket) {
  const std::int32_t handle = ++nextHandle_;
  socket->setParent(this);
  // While it is being named a client's bytes stay in the kernel, whatever it sends.
  socket->setReadBufferSize(kWaitingReadBuffer);
  auto owned = std::make_unique<Session>(g_, socket, idleTimeoutMs(kPop3IdleMs), g_.clock().tick());
  Session& s = *owned;
  sessions_[handle] = std::move(owned);
  s.address = dottedAddress(socket->peerAddress());
  // Replies leave as they are set; during the pause after the connect they wait.
  s.server.onReply = [this, handle] {
    if (Session* x = session(handle)) sendReply(*x);
  };
  s.dialogue.onPositionSaved = [this](const QString& client, const QByteArray& position) {
    if (tSocketClient* c = registry_.find(client)) c->PosID = position;
    Q_EMIT clientsChanged();
  };
  s.dialogue.mayOpenMailbox = [this, handle] { return mayOpenMailbox(handle); };
  s.dialogue.onLogin = [this, handle](const LoginResult& r) { return login(handle, r); };
  auto* ssl = qobject_cast<QSslSocket*>(socket);
  s.dialogue.TlsActive = ssl && ssl->isEncrypted();
  s.dialogue.tlsAvailable = [this, ssl] { return ssl && g_.listeners().tlsConfiguration(); };
  s.dialogue.onStartTls = [this, handle, ssl] {
    if (!g_.listeners().startTlsAfterCommand(*ssl)) {
      clientEnded(handle);
      ssl->abort();
    }
  };
  if (ssl) {
    connect(ssl, &QSslSocket::encrypted, this, [this, handle] {
      Session* x = session(handle);
      if (!x || !x->dialogue.TlsStarting) return;
      x->dialogue.TlsStarted();
      x->done = 0;
      x->watch.heard(g_.clock().tick());
      clientRead(handle);
    });
  }
  connect(socket, &QTcpSocket::readyRead, this, [this, handle] { clientRead(handle); });
  connect(socket, &QTcpSocket::bytesWritten, this, [this, handle] {
    Session* x = session(handle);
    if (!x || !x->registered) return;
    x->watch.heard(g_.clock().tick());
    // Reading held back for replies the client had not taken goes on.
    clientRead(handle);
  });
  connect(socket, &QTcpSocket::disconnected, this, [this, handle] { clientEnded(handle); });
  connect(socket, &QTcpSocket::errorOccurred, this,
          [this, handle, socket](QAbstractSocket::SocketError error) {
            const Session* x = session(handle);
            if (x && x->dialogue.TlsStarting) {
              g_.listeners().tlsFailed(QStringLiteral("POP3"), x->address, socket->errorString());
            } else if (error != QAbstractSocket::RemoteHostClosedError) {
              g_.Log(true, QStringLiteral("POP3 Socket Error ReceiveBuf"));
              g_.Log(g_.state().cfg.Debug,
                     QStringLiteral("POP3 Socket Error ") + socket->errorString());
            }
            clientEnded(handle);
            if (socket->state() != QAbstractSocket::UnconnectedState) socket->abort();
          });

  Q_EMIT connectStatus(QStringLiteral("Unknown Client Connect"));
  g_.Log(g_.state().cfg.Debug,
         QStringLiteral("POP3 ClientConnect ") + QString::number(sessions_.size()));
  const QString address = s.address;
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
  Session* s = session(handle);
  if (!s || s->ended || !s->socket) return;  // gone before it was named
  GatewayState& gs = g_.state();
  // With accounts the client is entered under the account it logs in with.
  s->listed = !AccountsSet(gs.cfg);
  const bool allowed =
      !s->listed || registry_
                        .connect(name, handle, g_.clock().now(),
                                 {gs.cfg.Pop3CliLimOn, gs.cfg.Pop3CliMax}, g_.settingsFile())
                        .SetOn;
  s->name = name;
  s->registered = true;
  Q_EMIT connectStatus(QString());
  Q_EMIT clientsChanged();
  g_.Log(gs.cfg.Debug, QStringLiteral("POP3 ClientConnect ") + name);
  g_.Log(true, fillPlaceholders(g_.Text(29), {name}));
  gs.Lamps.pop3Bits |= kLampClient;

  if (!allowed) {
    s->socket->write("-ERR POP3 access denied");
    registry_.forgetHandle(handle);
    s->socket->disconnectFromHost();
    return;
  }
  s->socket->setReadBufferSize(kServedReadBuffer);
  const Tick now = g_.clock().tick();
  s->watch = SessionWatch(idleTimeoutMs(kPop3IdleMs), now);
  s->dialogue.start(name);
  // The pause belongs to this connection only; its greeting waits for the end of it.
  s->paused = true;
  s->pauseEnd = now + kConnectPauseMs;
  s->server.setReply("+OK POP3 server ready");
  CallAtTick(this, g_, s->pauseEnd, [this, handle] { endPauseIfOver(handle); });
  if (!watchTimer_->isActive()) watchTimer_->start(static_cast<int>(s->watch.dueIn(now)) + 1);
}

bool TdmPOP3::mayOpenMailbox(std::int32_t handle) {
  const Session* s = session(handle);
  if (!s) return false;
  for (const auto& [h, other] : sessions_) {
    Session& o = *other;
    if (h == handle || !o.registered || o.ended || !o.dialogue.listBuilt() || o.name != s->name) {
      continue;
    }
    if (o.address != s->address) {
      g_.Log(true, fillPlaceholders(g_.Text(301), {s->name, s->address}));
      return false;
    }
    // The laptop that woke up: its older session goes, and with it its pending deletions.
    g_.Log(true, fillPlaceholders(g_.Text(302), {s->name}));
    clientEnded(h);
    if (o.socket) o.socket->abort();
  }
  return true;
}

bool TdmPOP3::login(std::int32_t handle, const LoginResult& result) {
  Session* s = session(handle);
  if (!s) return false;
  GatewayState& gs = g_.state();
  const Tick now = g_.clock().tick();
  const Tick delay = ThrottledLogin(g_, g_.listeners().loginThrottle(), QStringLiteral("POP3"),
                                    s->address, result.ok);
  if (delay > 0) {
    // The answer and the lines after it wait; the loop goes on meanwhile.
    s->paused = true;
    s->pauseEnd = now + delay;
    s->dialogue.HoldLines(true);
    CallAtTick(this, g_, s->pauseEnd, [this, handle] { endPauseIfOver(handle); });
  }
  if (!result.ok) return true;
  tSocketClient& entry =
      registry_.loginAs(result.account, handle, g_.clock().now(),
                        {gs.cfg.Pop3CliLimOn, gs.cfg.Pop3CliMax}, g_.settingsFile());
  if (entry.PosID.isEmpty() && g_.settingsFile()) {
    entry.PosID = g_.settingsFile()
                      ->value(QStringLiteral("ClientsPos"), result.account, QStringLiteral("????"))
                      .toLatin1();
  }
  const bool on = entry.SetOn;
  s->name = result.account;
  s->listed = true;
  refreshRegistryConnections();
  Q_EMIT clientsChanged();
  if (on) return true;
  // A switched-off account is refused like a switched-off PC.
  if (s->socket) {
    s->socket->write("-ERR POP3 access denied\r\n");
    s->socket->disconnectFromHost();
  }
  registry_.forgetHandle(handle);
  return false;
}

void TdmPOP3::clientRead(std::int32_t handle) {
  Session* s = session(handle);
  if (!s || !s->registered || s->ended || s->paused || !s->socket) return;
  // Lines may replace each other's reply, so a whole burst is read at once; replies the
  // client has not taken hold further bytes back in the kernel until they have left.
  while (s->socket && !s->dialogue.QuitSeen && !s->dialogue.TlsStarting && session(handle) == s &&
         !s->ended && s->socket->bytesToWrite() <= kMaxUnsentBytes) {
    const SocketRead read = ReadWaitingBytes(*s->socket, QStringLiteral("POP3"),
                                             [this](const QString& line) { g_.Log(true, line); });
    if (read.outcome != SocketRead::Bytes) break;
    const Tick now = g_.clock().tick();
    s->watch.heard(now);
    s->dialogue.AddRecvBytes(read.bytes);
    const QList<Pop3Message>& list = s->dialogue.Pop3MsgList;
    const auto done = std::count_if(list.begin(), list.end(),
                                    [](const Pop3Message& m) { return m.retrieved || m.deleted; });
    if (done > s->done) s->watch.completed(now);
    s->done = done;
  }
}

void TdmPOP3::checkTimeouts() {
  const Tick now = g_.clock().tick();
  Tick next = std::numeric_limits<Tick>::max();
  for (const auto& [handle, owned] : sessions_) {
    Session& s = *owned;
    if (!s.registered || s.ended || !s.socket) continue;
    const SessionWatch::Expiry expiry = s.watch.expired(now);
    if (expiry == SessionWatch::Expiry::None) {
      next = std::min(next, s.watch.dueIn(now));
      continue;
    }
    g_.Log(true, SessionExpiredLine(g_, QStringLiteral("POP3"), s.name, s.watch, expiry));
    clientEnded(handle);
    s.socket->abort();
  }
  ArmSessionWatch(*watchTimer_, next);
}

void TdmPOP3::clientEnded(std::int32_t handle) {
  Session* s = session(handle);
  if (!s || s->ended) return;
  s->ended = true;
  registry_.forgetHandle(handle);
  // Queued, so the socket layer finishes its own clean-up first.
  QTimer::singleShot(0, this, [this, handle] { Pop3ClientClose(handle); });
}

void TdmPOP3::refreshRegistryConnections() {
  for (tSocketClient& c : registry_.clients()) {
    const Session* s = c.Handle != 0 ? session(c.Handle) : nullptr;
    const bool open =
        s && !s->ended && s->socket && s->socket->state() == QAbstractSocket::ConnectedState;
    if (!open) c.Handle = 0;
    c.ConOn = open;
  }
}

void TdmPOP3::Pop3ClientClose(std::int32_t handle) {
  const auto it = sessions_.find(handle);
  if (it == sessions_.end()) return;
  std::unique_ptr<Session> s = std::move(it->second);
  sessions_.erase(it);
  const QString name = s->registered ? s->name : SocketToNamePCorIPAdr(handle);
  if (s->socket) {
    s->socket->disconnect(this);
    s->socket->deleteLater();
  }
  g_.Log(true, fillPlaceholders(g_.Text(30), {name}));
  refreshRegistryConnections();
  if (sessions_.empty()) g_.state().Lamps.pop3Bits &= ~kLampClient;
  Q_EMIT clientsChanged();
}

void TdmPOP3::deliverReply() {
  checkTimeouts();
  std::vector<std::int32_t> handles;
  handles.reserve(sessions_.size());
  for (const auto& [handle, s] : sessions_) handles.push_back(handle);
  for (const std::int32_t handle : handles) {
    endPauseIfOver(handle);
    if (Session* s = session(handle)) sendReply(*s);
  }
}

void TdmPOP3::endPauseIfOver(std::int32_t handle) {
  Session* s = session(handle);
  if (!s || !s->paused || !s->registered) return;
  if (static_cast<std::int32_t>(g_.clock().tick() - s->pauseEnd) < 0) return;
  s->paused = false;
  // The greeting held back by the pause goes before the answers to early lines.
  sendReply(*s);
  s->dialogue.HoldLines(false);
  clientRead(handle);
}

void TdmPOP3::sendReply(Session& s) {
  const GatewayState& gs = g_.state();
  const bool listening = gs.Pop3Listen || g_.listeners().pop3sListening();
  if (!listening || !s.server.Pop3SendOn || s.server.Pop3SendStr.isEmpty()) return;
  // The pause after the connect holds the reply back instead of losing it.
  if (s.paused) return;
  s.server.Pop3SendOn = false;
  const QByteArray reply = s.server.Pop3SendStr;
  g_.Log(gs.cfg.Debug,
         QStringLiteral("POP3 DATA->|") + QString::fromLatin1(reply) + QLatin1Char('|'));
  if (s.ended || !s.socket || s.socket->state() != QAbstractSocket::ConnectedState) {
    g_.Log(gs.cfg.Debug, QStringLiteral("POP3 DATA-> discard"));
    return;
  }
  // The socket keeps whatever the network does not take at once and sends it as it drains,
  // so a long message reaches the client whole.
  const QByteArray data = reply + "\r\n";
  if (s.socket->write(data) < data.size()) {
    g_.Log(true,
           QStringLiteral("POP3 Send Error  ->|") + QString::fromLatin1(reply) + QLatin1Char('|'));
  }
  // After QUIT the server closes the connection once its answer has left.
  if (s.dialogue.QuitSeen) s.socket->disconnectFromHost();
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
  QList<QPointer<QTcpSocket>> sockets;
  for (const auto& [h, s] : sessions_) {
    if (s->registered && !s->ended && s->name == name && s->socket) sockets << s->socket;
  }
  // Their disconnect events end the dialogues.
  for (const QPointer<QTcpSocket>& socket : sockets) {
    if (socket) socket->disconnectFromHost();
  }
  return !sockets.isEmpty();
}

}  // namespace kolvane
