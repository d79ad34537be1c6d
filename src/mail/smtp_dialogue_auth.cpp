#include "context/gateway_context.h"
#include "mail/mail_login.h"
#include "mail/mail_recv.h"
#include "settings/catalogue.h"

namespace kolvane {

bool TMailRecv::authRequired() const {
  return AccountsSet(g_.state().cfg) && !authenticated_ && !TrustedHost;
}

void TMailRecv::HoldLines(bool on) {
  linesHeld_ = on;
  if (!on && !storing_) replayHeldLines();
}

void TMailRecv::auth(const QByteArray& line) {
  // MailTlsRequired: a session in clear is refused here ("538") until STARTTLS.
  if (authenticated_) {
    server_.setReply("503 5.5.1 Kolvane already authenticated");
    return;
  }
  if (mailGiven_) {
    server_.setReply("503 5.5.1 Kolvane AUTH not within a mail");
    return;
  }
  authStep(auth_.begin(line));
}

void TMailRecv::authLine(const QByteArray& line) {
  expecting = ClientLine::Command;
  authStep(auth_.next(line));
}

void TMailRecv::authStep(const SmtpAuthExchange::Step& step) {
  if (!step.credentials) {
    expecting = auth_.active() ? ClientLine::Secret : ClientLine::Command;
    server_.setReply(step.reply);
    return;
  }
  const Settings& cfg = g_.state().cfg;
  const SaslCredentials& c = *step.credentials;
  LoginResult result = CheckLogin(cfg, c.user, c.password);
  // Logging in for another account is not offered.
  if (result.ok && AccountsSet(cfg) && !c.authzid.isEmpty() &&
      QString::fromUtf8(c.authzid).compare(result.account, Qt::CaseInsensitive) != 0) {
    result = {};
  }
  if (onLogin && !onLogin(result)) return;
  if (!result.ok) {
    g_.Log(true, fillPlaceholders(g_.Text(591), {QStringLiteral("SMTP"), NamePC_IPAdr}));
    server_.setReply("535 5.7.8 Authentication credentials invalid");
    return;
  }
  authenticated_ = true;
  if (!result.account.isEmpty()) {
    g_.Log(true, fillPlaceholders(g_.Text(590), {NamePC_IPAdr, result.account}));
    // The account stands where the PC stood: its mails' reports and answers come back to it.
    NamePC_IPAdr = result.account;
  }
  server_.setReply("235 2.7.0 Authentication successful");
}

}  // namespace kolvane
