#include "mail/mail_listeners.h"

#include <QDateTime>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <utility>

#include "platform/connection_accept.h"
#include "settings/catalogue.h"

namespace kolvane {

MailListeners::MailListeners(QObject* parent) : QObject(parent) {
  uptime_.start();
}

namespace {

MailListeners::Problem problemOf(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::AddressInUseError:
      return MailListeners::Problem::InUse;
    case QAbstractSocket::SocketAccessError:
      return MailListeners::Problem::Denied;
    default:
      return MailListeners::Problem::Other;
  }
}

}  // namespace

bool MailListeners::listen(Server& server, int port) {
  if (server.socket.isListening()) return true;
  PortState& state = server.state;
  state.port = port;
  state.asked = true;
  state.detail.clear();
  if (port < 1 || port > 65535) {
    state.problem = Problem::NoPort;
    return false;
  }
  if (!server.socket.listen(address_, static_cast<quint16>(port))) {
    state.problem = problemOf(server.socket.serverError());
    state.detail = server.socket.errorString();
    return false;
  }
  state.problem = Problem::None;
  state.listening = true;
  // The connections are taken here, so that one that cannot be taken is noticed: the socket
  // layer would retry it at once, for ever.
  server.socket.pauseAccepting();
  server.waiting =
      std::make_unique<QSocketNotifier>(server.socket.socketDescriptor(), QSocketNotifier::Read);
  connect(server.waiting.get(), &QSocketNotifier::activated, this,
          [this, &server] { acceptWaiting(server); });
  if (const auto& listens = this->*server.listens) listens();
  return true;
}

void MailListeners::acceptWaiting(Server& server) {
  for (;;) {
    const AcceptedConnection taken = AcceptWaiting(server.socket.socketDescriptor());
    if (taken.exhausted) {
      acceptFailed(server, taken.error);
      return;
    }
    if (taken.descriptor < 0) return;
    server.failing = false;
    // Every connection can be encrypted: the TLS ports at once, the others at STARTTLS/STLS.
    auto* client = new QSslSocket(this);
    if (!client->setSocketDescriptor(taken.descriptor)) {
      CloseDescriptor(taken.descriptor);
      client->deleteLater();
      continue;
    }
    if (!admit(server, client, taken.descriptor)) continue;
    if (server.implicitTls) {
      handOverEncrypted(server, client);
    } else if (const auto& dialogue = this->*server.dialogue) {
      dialogue(client);
    } else {
      client->close();
      client->deleteLater();
    }
  }
}

bool MailListeners::admit(Server& server, QTcpSocket* client, qintptr descriptor) {
  const QString address = dottedAddress(client->peerAddress());
  const Limits bounds = limits ? limits() : Limits{};
  auto at = perHost_.find(address);
  const int fromHost = at == perHost_.end() ? 0 : at->second;
  // Descriptors are given out lowest first: one this high means few are left.
  const qintptr limit = DescriptorLimit();
  const bool full = descriptor >= limit - std::min(kDescriptorReserve, limit / 4);
  if (fromHost < bounds.perHost && total_ < bounds.total && !full) {
    ++total_;
    if (at == perHost_.end()) at = perHost_.emplace(address, 0).first;
    ++at->second;
    connect(client, &QObject::destroyed, this, [this, address] {
      --total_;
      const auto it = perHost_.find(address);
      if (it != perHost_.end() && --it->second <= 0) perHost_.erase(it);
    });
    return true;
  }
  // A TLS port has no words in clear: its refused connection is closed.
  if (!server.implicitTls) client->write(server.tooMany);
  client->disconnectFromHost();
  if (client->state() == QAbstractSocket::UnconnectedState) {
    client->deleteLater();
  } else {
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    // A peer that takes nothing does not keep the descriptor.
    QTimer::singleShot(kAcceptPauseMs, client, [client] {
      client->abort();
      client->deleteLater();
    });
  }
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (server.refusedLoggedAt == 0 || now - server.refusedLoggedAt >= 60000) {
    server.refusedLoggedAt = now;
    if (onTooMany) onTooMany(QLatin1String(server.state.name), address);
  }
  return false;
}

bool MailListeners::startTls(QSslSocket& socket) const {
  const std::optional<QSslConfiguration> configuration = tlsConfiguration();
  if (!configuration) return false;
  QSslConfiguration c = *configuration;
  c.setProtocol(QSsl::TlsV1_2OrLater);
  c.setPeerVerifyMode(QSslSocket::VerifyNone);
  socket.setSslConfiguration(c);
  socket.startServerEncryption();
  return true;
}

bool MailListeners::startTlsAfterCommand(QSslSocket& socket) const {
  socket.readAll();
  return startTls(socket);
}

void MailListeners::tlsFailed(const QString& server, const QString& address,
                              const QString& reason) {
  if (!tlsFailures_.logs(address, static_cast<Tick>(uptime_.elapsed()))) return;
  if (onTlsFailed) onTlsFailed(server, address, reason);
}

void MailListeners::handOverEncrypted(Server& server, QSslSocket* client) {
  const QString name = QLatin1String(server.state.name);
  const QString address = dottedAddress(client->peerAddress());
  // The failure is told once, whichever of its signals comes first.
  const auto failed = std::make_shared<bool>(false);
  const auto fail = [this, client, name, address, failed](const QString& reason) {
    if (std::exchange(*failed, true)) return;
    tlsFailed(name, address, reason);
    client->abort();
    client->deleteLater();
  };
  const auto reason = [this](int n) { return text ? text(n) : QString::number(n); };
  if (!startTls(*client)) {
    fail(reason(552));
    return;
  }
  auto* limit = new QTimer(client);
  limit->setSingleShot(true);
  connect(limit, &QTimer::timeout, client, [fail, reason] {
    fail(fillPlaceholders(reason(553), {QString::number(kHandshakeMs / 1000)}));
  });
  limit->start(static_cast<int>(kHandshakeMs));
  connect(client, &QAbstractSocket::errorOccurred, client,
          [client, fail] { fail(client->errorString()); });
  connect(client, &QSslSocket::encrypted, this, [this, &server, client, limit] {
    limit->deleteLater();
    // From here on the dialogue owns the connection and its errors.
    client->disconnect(this);
    disconnect(client, &QAbstractSocket::errorOccurred, client, nullptr);
    if (const auto& dialogue = this->*server.dialogue) {
      dialogue(client);
    } else {
      client->close();
      client->deleteLater();
    }
  });
}

QString dottedAddress(const QHostAddress& peer) {
  bool v4 = false;
  const quint32 ip4 = peer.toIPv4Address(&v4);
  return v4 ? QHostAddress(ip4).toString() : peer.toString();
}

void MailListeners::acceptFailed(Server& server, const QString& reason) {
  // The connection stays in the kernel's queue and would fail again at once: wait a moment
  // for descriptors to be freed.
  server.waiting->setEnabled(false);
  QTimer::singleShot(kAcceptPauseMs, this, [&server] { server.waiting->setEnabled(true); });
  if (server.failing) return;
  server.failing = true;
  if (const auto& failed = this->*server.failed) failed(reason);
}

}  // namespace kolvane
