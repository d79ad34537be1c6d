#include "mail/smtp_server.h"

#include <QHostInfo>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <limits>
#include <vector>

#include "context/gateway_context.h"
#include "mail/mail_listeners.h"
#include "mail/mail_login.h"
#include "mail/mail_recv.h"
#include "mail/socket_read.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

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
      registry_(QStringLiteral("SmtpCliDateTime"), QStringLiteral("SmtpCliOnOff")),
      watchTimer_(new QTimer(this)) {
  watchTimer_->setSingleShot(true);
  connect(watchTimer_, &QTimer::timeout, this, [this] { checkTimeouts(); });
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
  hooks.cycle.smtpSessionActive = [this] {
    return std::any_of(sessions_.begin(), sessions_.end(),
                       [](const auto& e) { return e.second->server.SmtpNetRun; });
  };
}

TdmSMTP::~TdmSMTP() {
  MailListeners& l = g_.listeners();
  l.onSmtpClient = nullptr;
  l.onSmtpListens = nullptr;
  l.onSmtpAcceptFailed = nullptr;
  g_.hooks().cycle.deliverSmtpReply = nullptr;
  g_.hooks().cycle.smtpSessionActive = nullptr;
  for (auto& [handle, s] : sessions_) {
    if (s->socket) s->socket->disconnect(this);
  }
}

void TdmSMTP::ClientsInit() {
  const IniFile* file = g_.settingsFile();
  registry_.load(file ? file->read() : IniText(), g_.clock().now(),
                 [this](const QString& line) { g_.Log(true, line); });
  Q_EMIT clientsChanged();
}

Tick TdmSMTP::limitMs() const {
  return idleTimeoutMs(kSmtpIdleMs);
}

TdmSMTP::Session* TdmSMTP::session(std::int32_t handle) {
  const auto it = sessions_.find(handle);
  return it == sessions_.end() ? nullptr : it->second.get();
}

std::size_t TdmSMTP::sessionCount() const {
  return static_cast<std::size_t>(
      std::count_if(sessions_.begin(), sessions_.end(),
                    [](const auto& e) { return e.second->registered && !e.second->ended; }));
}

const TMailRecv* TdmSMTP::mailRecv(const QString& name) const {
  for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it) {
    const Session& s = *it->second;
    if (s.registered && !s.ended && s.name == name) return &s.recv;
  }
  return nullptr;
}

bool TdmSMTP::replyPending() const {
  return std::any_of(sessions_.begin(), sessions_.end(),
                     [](const auto& e) { return e.second->server.SmtpSendOn; });
}

void TdmSMTP::accept(QTcpSocket* socket) {
  if (nextHandle_ == std::numeric_limits<std::int32_t>::max()) nextHandle_ = 0;
  const std::int32_t handle = ++nextHandle_;
  socket->setParent(this);
  // While it is being named a client's bytes stay in the kernel, whatever it sends.
  socket->setReadBufferSize(kWaitingReadBuffer);
  auto owned = std::make_unique<Session>(g_, socket, limitMs(), g_.clock().tick());
  Session& s = *owned;
  sessions_[handle] = std::move(owned);
  // Replies leave as they are set.
  s.server.onReply = [this, handle] {
    if (Session* x = session(handle)) sendReply(*x);
  };
  // QUIT ends the connection once its reply has left.
  s.recv.onQuit = [this, handle] {
    const Session* x = session(handle);
    if (x && x->socket) x->socket->disconnectFromHost();
  };
  s.recv.onLogin = [this, handle](const LoginResult& result) { return login(handle, result); };
  s.recv.onMailAccepted = [this, handle] {
    if (Session* x = session(handle)) x->watch.completed(g_.clock().tick());
  };
  s.recv.onStoreFinished = [this, handle] {
    if (Session* x = session(handle)) x->watch.heard(g_.clock().tick());
    clientRead(handle);
  };
  auto* ssl = qobject_cast<QSslSocket*>(socket);
  s.recv.TlsActive = ssl && ssl->isEncrypted();
  s.recv.tlsAvailable = [this, ssl] { return ssl && g_.listeners().tlsConfiguration(); };
  s.recv.onStartTls = [this, handle, ssl] {
    Session* x = session(handle);
    if (!x) return;
    x->reader.clearLine();
    if (!g_.listeners().startTlsAfterCommand(*ssl)) {
      clientEnded(handle);
      ssl->abort();
    }
  };
  if (ssl) {
    connect(ssl, &QSslSocket::encrypted, this, [this, handle] {
      Session* x = session(handle);
      if (!x || !x->recv.TlsStarting) return;
      x->recv.TlsStarted();
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
  connect(
      socket, &QTcpSocket::errorOccurred, this, [this, handle](QAbstractSocket::SocketError error) {
        const Session* x = session(handle);
        if (x && x->socket && x->recv.TlsStarting) {
          g_.listeners().tlsFailed(QStringLiteral("SMTP"), dottedAddress(x->socket->peerAddress()),
                                   x->socket->errorString());
        } else if (error != QAbstractSocket::RemoteHostClosedError) {
          if (x && x->socket) {
            g_.Log(true, QStringLiteral("SMTP Socket Error ReceiveBuf"));
            g_.Log(g_.state().cfg.Debug,
                   QStringLiteral("SMTP Socket Error ") + x->socket->errorString());
          }
        }
        clientEnded(handle);
      });

  const QString address = dottedAddress(socket->peerAddress());
  s.address = address;
  s.trusted = IsTrustedHost(g_.state().cfg.MailTrustedHosts, socket->peerAddress());
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
  Session* s = session(handle);
  // Gone while it was being named: its queued end removes it quietly.
  if (!s || s->ended || !s->socket) return;
  GatewayState& gs = g_.state();
  s->name = name;
  s->registered = true;
  // With accounts an untrusted client is entered under the account it logs in with.
  s->listed = !AccountsSet(gs.cfg) || s->trusted;
  const bool admitted =
      !s->listed || registry_
                        .connect(name, handle, g_.clock().now(),
                                 {gs.cfg.SmtpCliLimOn, gs.cfg.SmtpCliMax}, g_.settingsFile())
                        .SetOn;
  g_.Log(true, fillPlaceholders(g_.Text(36), {name}));
  gs.Lamps.smtpBits |= kLampClient;
  if (!admitted) {
    // Closed at once, without a word.
    clientEnded(handle);
    s->socket->abort();
  } else {
    serve(handle);
  }
  Q_EMIT clientsChanged();
}

void TdmSMTP::serve(std::int32_t handle) {
  Session& s = *session(handle);
  s.socket->setReadBufferSize(kServedReadBuffer);
  const Tick now = g_.clock().tick();
  s.watch = SessionWatch(limitMs(), now);
  s.recv.TrustedHost = s.trusted;
  s.recv.StartInitX(s.name);
  // Whatever it sent while it was being named is read now.
  clientRead(handle);
  if (!watchTimer_->isActive()) watchTimer_->start(static_cast<int>(s.watch.dueIn(now)) + 1);
}

void TdmSMTP::clientRead(std::int32_t handle) {
  Session* s = session(handle);
  if (!s || !s->registered || s->ended || !s->socket || s->reading || s->held) return;
  FlagScope running(s->reading);
  // A mail being stored, or replies the client has not taken, hold further bytes back in the
  // kernel; both resume the reading when they are done. After QUIT nothing more is read.
  while (!s->recv.Storing() && !s->recv.QuitSeen && !s->recv.TlsStarting && s->socket &&
         s->socket->bytesToWrite() <= kMaxUnsentBytes) {
    if (readStep(*s, handle) <= 0) break;
  }
}

qint64 TdmSMTP::readStep(Session& s, std::int32_t handle) {
  SocketRead read = ReadWaitingBytes(*s.socket, QStringLiteral("SMTP"),
                                     [this](const QString& line) { g_.Log(true, line); });
  if (read.outcome == SocketRead::Threw) {
    clientEnded(handle);
    s.socket->abort();
  }
  if (read.outcome != SocketRead::Bytes) return read.outcome == SocketRead::Nothing ? 0 : -1;
  const QByteArray bytes = std::move(read.bytes);
  const bool debug = g_.state().cfg.Debug;
  s.watch.heard(g_.clock().tick());
  try {
    s.reader.feed(bytes, [this, &s, debug](const QByteArray& line, qsizetype dropped, LineEnd end,
                                           LineEnd before) {
      if (s.recv.QuitSeen) return;
      // A mail's text is traced as it came; only commands may carry secrets.
      const QByteArray traced = s.recv.SmtpDataOn ? line : MaskSecrets(line, s.recv.expecting);
      g_.Log(debug, QStringLiteral("SMTP DATA<-|") + loggedText(traced) + QLatin1Char('|'));
      s.recv.AddRecvStr(line, dropped, end, before);
      s.watch.transfer(s.recv.SmtpDataOn || s.recv.Storing(), g_.clock().tick());
    });
  } catch (const std::exception&) {
    // The rest of this read is lost; the connection goes on.
    s.reader.clearLine();
  }
  // The rest of a read that held STARTTLS is dropped with it.
  if (s.recv.TlsStarting) s.reader.clearLine();
  return bytes.size();
}

void TdmSMTP::checkTimeouts() {
  const Tick now = g_.clock().tick();
  Tick next = std::numeric_limits<Tick>::max();
  for (const auto& [handle, owned] : sessions_) {
    Session& s = *owned;
    if (!s.registered || s.ended || !s.socket || s.recv.Storing()) continue;
    const SessionWatch::Expiry expiry = s.watch.expired(now);
    if (expiry == SessionWatch::Expiry::None) {
      next = std::min(next, s.watch.dueIn(now));
      continue;
    }
    g_.Log(true, SessionExpiredLine(g_, QStringLiteral("SMTP"), s.name, s.watch, expiry));
    clientEnded(handle);
    s.socket->abort();
  }
  ArmSessionWatch(*watchTimer_, next);
}

void TdmSMTP::clientEnded(std::int32_t handle) {
  Session* s = session(handle);
  if (!s || s->ended) return;
  s->ended = true;
  registry_.forgetHandle(handle);
  // Queued, so that the socket finishes its own signal first.
  QMetaObject::invokeMethod(
      this, [this, handle] { clientClose(handle); }, Qt::QueuedConnection);
}

void TdmSMTP::clientClose(std::int32_t handle) {
  const auto it = sessions_.find(handle);
  if (it == sessions_.end()) return;
  std::unique_ptr<Session> s = std::move(it->second);
  sessions_.erase(it);
  if (s->socket) {
    s->socket->disconnect(this);
    s->socket->abort();
    s->socket->deleteLater();
  }
  if (!s->registered) return;
  // A mail left half-sent is dropped; one being stored is kept and answers no one.
  s->recv.EndSession();
  g_.Log(true, fillPlaceholders(g_.Text(37), {s->name}));
  refreshRegistryConnections();
  if (sessionCount() == 0) g_.state().Lamps.smtpBits &= ~kLampClient;
  Q_EMIT clientsChanged();
}

void TdmSMTP::refreshRegistryConnections() {
  for (tSocketClient& e : registry_.clients()) {
    e.Handle = 0;
    e.ConOn = false;
  }
  // A PC with several connections shows its latest one.
  for (const auto& [h, s] : sessions_) {
    if (!s->registered || !s->listed || s->ended) continue;
    if (tSocketClient* e = registry_.find(s->name)) {
      e->Handle = h;
      e->ConOn = true;
    }
  }
}

void TdmSMTP::deliverReply() {
  checkTimeouts();
  std::vector<std::int32_t> handles;
  handles.reserve(sessions_.size());
  for (const auto& [handle, s] : sessions_) handles.push_back(handle);
  for (const std::int32_t handle : handles) {
    releaseIfOver(handle);
    if (Session* s = session(handle)) sendReply(*s);
  }
}

bool TdmSMTP::login(std::int32_t handle, const LoginResult& result) {
  Session* s = session(handle);
  if (!s) return false;
  GatewayState& gs = g_.state();
  const Tick now = g_.clock().tick();
  const Tick delay = ThrottledLogin(g_, g_.listeners().loginThrottle(), QStringLiteral("SMTP"),
                                    s->address, result.ok);
  if (delay > 0) {
    // The answer and everything after it wait; the loop goes on meanwhile.
    s->held = true;
    s->heldUntil = now + delay;
    s->recv.HoldLines(true);
    CallAtTick(this, g_, s->heldUntil, [this, handle] { releaseIfOver(handle); });
  }
  if (!result.ok || result.account.isEmpty()) return true;
  const bool on = registry_
                      .loginAs(result.account, handle, g_.clock().now(),
                               {gs.cfg.SmtpCliLimOn, gs.cfg.SmtpCliMax}, g_.settingsFile())
                      .SetOn;
  s->name = result.account;
  s->listed = true;
  refreshRegistryConnections();
  Q_EMIT clientsChanged();
  if (on) return true;
  // A switched-off account is closed at once, like a switched-off PC.
  clientEnded(handle);
  if (s->socket) s->socket->abort();
  return false;
}

void TdmSMTP::releaseIfOver(std::int32_t handle) {
  Session* s = session(handle);
  if (!s || !s->held || static_cast<std::int32_t>(g_.clock().tick() - s->heldUntil) < 0) return;
  s->held = false;
  sendReply(*s);
  s->recv.HoldLines(false);
  clientRead(handle);
}

void TdmSMTP::sendReply(Session& s) {
  if (s.held || !s.server.SmtpSendOn || s.server.SmtpSendStr.isEmpty()) return;
  s.server.SmtpSendOn = false;
  const QByteArray reply = s.server.SmtpSendStr;
  const QString shown = QString::fromLocal8Bit(reply);
  const bool debug = g_.state().cfg.Debug;
  g_.Log(debug, QStringLiteral("SMTP DATA->|") + shown + QLatin1Char('|'));
  if (s.ended || !s.socket || s.socket->state() != QAbstractSocket::ConnectedState) {
    g_.Log(debug, QStringLiteral("SMTP DATA-> discard"));
    return;
  }
  // The socket keeps what the network does not take at once and sends it on the loop.
  const QByteArray data = reply + "\r\n";
  if (s.socket->write(data) != data.size()) {
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
  for (const auto& [h, s] : sessions_) {
    if (s->registered && !s->ended && s->name == name && s->socket) sockets << s->socket;
  }
  // Their disconnect events end the dialogues.
  for (const QPointer<QTcpSocket>& s : sockets) {
    if (s) s->disconnectFromHost();
  }
  return !sockets.isEmpty();
}

}  // namespace kolvane
