#include "core/mail_ports.h"

#include <QSslSocket>

#include "core/gateway.h"
#include "mail/mail_listeners.h"
#include "mail/tls_identity.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

// Every listening port of the mail servers: its setting, how it is opened and read, and the
// flag and lamp that follow it. A new port is one more line. The TLS ports have neither flag
// nor lamp, and port 0 switches them off.
struct MailPort {
  int Settings::*port;
  bool (MailListeners::*listen)(int);
  const MailListeners::PortState& (MailListeners::*state)() const;
  bool GatewayState::*listening;
  std::uint8_t LampState::*lamp;
};
constexpr MailPort kMailPorts[] = {
    {&Settings::SmtpPort, &MailListeners::listenSmtp, &MailListeners::smtpState,
     &GatewayState::SmtpListen, &LampState::smtpBits},
    {&Settings::Pop3Port, &MailListeners::listenPop3, &MailListeners::pop3State,
     &GatewayState::Pop3Listen, &LampState::pop3Bits},
    {&Settings::SmtpsPort, &MailListeners::listenSmtps, &MailListeners::smtpsState, nullptr,
     nullptr},
    {&Settings::Pop3sPort, &MailListeners::listenPop3s, &MailListeners::pop3sState, nullptr,
     nullptr},
};

// MailListenAddress, or every address when it is empty or no address (told once).
QHostAddress listenAddress(Gateway& g) {
  const QString& text = g.state().cfg.MailListenAddress;
  QString& logged = g.state().ListenFailureLogged[QStringLiteral("MailListenAddress")];
  QHostAddress address;
  if (text.trimmed().isEmpty() || address.setAddress(text.trimmed())) {
    logged.clear();
    return address.isNull() ? QHostAddress(QHostAddress::Any) : address;
  }
  if (logged != text) {
    logged = text;
    g.Log(true, fillPlaceholders(g.Text(551), {text}));
  }
  return QHostAddress::Any;
}

QString reasonText(Gateway& g, const MailListeners::PortState& p) {
  switch (p.problem) {
    case MailListeners::Problem::InUse:
      return g.Text(402);
    case MailListeners::Problem::Denied:
      return g.Text(p.port < 1024 ? 403 : 404);
    case MailListeners::Problem::NoPort:
      return g.Text(405);
    case MailListeners::Problem::Other:
    case MailListeners::Problem::None:
      break;
  }
  return p.detail;
}

// A failing port is logged when it begins to fail or fails for another reason, not at every
// try.
void noteFailure(Gateway& g, const MailListeners::PortState& p) {
  QString& logged = g.state().ListenFailureLogged[QLatin1String(p.name)];
  if (p.listening) {
    logged.clear();
    return;
  }
  const QString line = fillPlaceholders(
      g.Text(401), {QLatin1String(p.name), QString::number(p.port), reasonText(g, p)});
  if (line == logged) return;
  logged = line;
  g.Log(true, line);
}

}  // namespace

void installMailLimits(Gateway& g) {
  MailListeners& l = g.listeners();
  l.limits = [&g] {
    const Settings& cfg = g.state().cfg;
    return MailListeners::Limits{cfg.MailCliPerHostMax, cfg.MailCliTotalMax};
  };
  l.onTooMany = [&g](const QString& server, const QString& address) {
    g.Log(true, fillPlaceholders(g.Text(303), {server, address}));
  };
  l.serverTls = [&g]() -> std::optional<QSslConfiguration> {
    const std::shared_ptr<const TlsIdentity> identity = g.state().MailTls;
    if (!identity || !identity->valid()) return std::nullopt;
    return serverTlsConfiguration(*identity);
  };
  l.onTlsFailed = [&g](const QString& server, const QString& address, const QString& reason) {
    g.Log(true, fillPlaceholders(g.Text(550), {server, address, reason}));
  };
  l.text = [&g](int n) { return g.Text(n); };
  l.onSmtpsListens = [&g] { g.Log(true, QStringLiteral("SMTPS ") + g.Text(89)); };
  l.onPop3sListens = [&g] { g.Log(true, QStringLiteral("POP3S ") + g.Text(89)); };
}

void openMailPorts(Gateway& g) {
  GatewayState& gs = g.state();
  MailListeners& l = g.listeners();
  l.setListenAddress(listenAddress(g));
  bool failing = false;
  for (const MailPort& m : kMailPorts) {
    const int port = gs.cfg.*m.port;
    if (!m.listening && port == 0) continue;
    const MailListeners::PortState& p = (l.*m.state)();
    if (!(m.listening ? gs.*m.listening : p.listening)) (l.*m.listen)(port);
    if (m.listening) gs.*m.listening = p.listening;
    if (m.lamp) setLampBit(gs.Lamps.*m.lamp, kLampListening, p.listening);
    noteFailure(g, p);
    failing = failing || !p.listening;
  }
  gs.ListenRetryAt = failing ? tickAfter(g.clock().tick(), kListenRetryMs) : 0;
}

void listenRetryStage(Gateway& g) {
  if (!tickDue(g.state().ListenRetryAt, g.clock().tick())) return;
  openMailPorts(g);
}

QString mailPortState(Gateway& g, bool smtp) {
  const MailListeners& l = g.listeners();
  const MailListeners::PortState& p = smtp ? l.smtpState() : l.pop3State();
  if (!p.asked) return QStringLiteral("not started");
  if (p.listening) return QStringLiteral("listening on port %1").arg(p.port);
  return QStringLiteral("not listening on port %1: %2").arg(p.port).arg(reasonText(g, p));
}

}  // namespace kolvane
