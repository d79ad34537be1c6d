#include "mail/mail_recv.h"

#include <algorithm>
#include <optional>

#include "context/gateway_context.h"
#include "mail/client_limits.h"
#include "mail/mail_addresses.h"
#include "mail/mail_rec.h"
#include "mail/smtp_extensions.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

const QByteArray kOk = QByteArrayLiteral("250 Kolvane");
// The client keeps a mail answered so and delivers it again later.
const QByteArray kStoreFailed = QByteArrayLiteral("451 Kolvane mail store not available");
// A MAIL or RCPT line whose address is not in angle brackets.
const QByteArray kNoBrackets = QByteArrayLiteral("501 5.5.4 Kolvane syntax: use <address>");
const QByteArray kBadSequence = QByteArrayLiteral("503 5.5.1 Kolvane bad sequence of commands");

QByteArray upperAscii(const QByteArray& line) {
  QByteArray up = line;
  for (char& c : up) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return up;
}

// "<...>" of a MAIL or RCPT line: its first "<" at the fifth byte or later and its first ">"
// after that.
std::optional<QByteArray> bracketedAddress(const QByteArray& line) {
  const qsizetype lt = line.indexOf('<');
  const qsizetype gt = line.indexOf('>');
  if (lt < 4 || gt < lt) return std::nullopt;
  return line.mid(lt, gt - lt + 1);
}

// Recipients with one telephone number are one recipient, whichever international prefix
// ("+", "00" or none) they write.
QByteArray recipientKey(const QByteArray& address) {
  const QByteArray number = TelNoFromStr(address);
  if (number.size() < 4) return address;
  if (number.startsWith('+')) return number.mid(1);
  return number.startsWith("00") ? number.mid(2) : number;
}

}  // namespace

TMailRecv::TMailRecv(GatewayContext& g, SmtpServerState& server)
    : g_(g), server_(server), alive_(std::make_shared<bool>(true)) {}

TMailRecv::~TMailRecv() = default;

void TMailRecv::StartInitX(const QString& clientName) {
  ++session_;
  dropHeldLines();
  server_.setReply("220 Kolvane");
  SmtpDataOn = false;
  // A mail the previous client left half-sent is dropped.
  clearMail();
  SmtpSaveOkCnt = 0;
  SmtpSaveErrCnt = 0;
  NamePC_IPAdr = clientName;
  QuitSeen = false;
  TlsStarting = false;
  auth_.reset();
  authenticated_ = false;
  linesHeld_ = false;
  expecting = ClientLine::Command;
  commandsAllLf_ = true;
  endTransaction();
  EnvelopeFrom.clear();
  // Recipients of a client that went away mid-mail are not the next client's.
  if (g_.state().cfg.ToTakeFromRcpt) To_StrLi.clear();
}

void TMailRecv::EndSession() {
  ++session_;
  dropHeldLines();
  auth_.reset();
  linesHeld_ = false;
  expecting = ClientLine::Command;
  SmtpDataOn = false;
  endTransaction();
  clearMail();
}

void TMailRecv::TlsStarted() {
  TlsStarting = false;
  TlsActive = true;
  // Nothing said in clear carries over, a login neither.
  auth_.reset();
  authenticated_ = false;
  expecting = ClientLine::Command;
  endTransaction();
  EnvelopeFrom.clear();
  if (g_.state().cfg.ToTakeFromRcpt) To_StrLi.clear();
}

bool TMailRecv::tlsMissing() const {
  return g_.state().cfg.MailTlsRequired && !TlsActive;
}

void TMailRecv::startTls() {
  if (TlsActive || !tlsAvailable || !tlsAvailable()) {
    server_.setReply("454 4.7.0 TLS not available");
    return;
  }
  TlsStarting = true;
  server_.setReply("220 2.0.0 Ready to start TLS");
  if (onStartTls) onStartTls();
}

void TMailRecv::endTransaction() {
  mailGiven_ = false;
  rcptGiven_ = false;
}

void TMailRecv::AddRecvStr(const QByteArray& line, qsizetype dropped, LineEnd end, LineEnd before) {
  // What a client sends between STARTTLS and the handshake is not a command.
  if (TlsStarting) return;
  if (storing_ || linesHeld_) {
    holdLine({line, dropped, end, before});
    return;
  }
  SmtpRecvStr = line;
  if (!SmtpDataOn) {
    if (end != LineEnd::Lf) commandsAllLf_ = false;
    if (dropped > 0) {
      // Too long for a command: refused, not read as one.
      auth_.reset();
      expecting = ClientLine::Command;
      server_.setReply("500");
      return;
    }
    if (auth_.active()) {
      authLine(line);
      return;
    }
    IdStr = upperAscii(line);
    command();
    return;
  }
  // Only <CRLF>.<CRLF> ends the data (a bare-LF dot is how mail is smuggled past a server),
  // except for a client that ends all its lines with LF.
  const bool crLf = before == LineEnd::CrLf && end == LineEnd::CrLf;
  const bool lf = commandsAllLf_ && before == LineEnd::Lf && end == LineEnd::Lf;
  if (line == "." && dropped == 0 && (crLf || lf)) {
    endOfMail();
    return;
  }
  contentLine(line, dropped);
}

void TMailRecv::contentLine(const QByteArray& line, qsizetype dropped) {
  mailBytes_ += line.size() + dropped + 2;
  if (mailTooBig_) return;
  if (mailBytes_ > SmtpMaxMailBytes(g_.state().cfg)) {
    // Only counted from here on; the end of the data refuses it.
    mailTooBig_ = true;
    BodyMail_Str.clear();
    return;
  }
  // Clients double a leading dot of a content line; the mail text has one.
  if (SmtpRecvStr.startsWith('.')) SmtpRecvStr.remove(0, 1);
  IdStr = upperAscii(SmtpRecvStr);
  MailLine();
}

void TMailRecv::DATAInit() {
  SmtpDataOn = true;
  clearMail();
  if (!g_.state().cfg.ToTakeFromRcpt) To_StrLi.clear();
}

void TMailRecv::clearMail() {
  mailBytes_ = 0;
  mailTooBig_ = false;
  SmtpBodyOn = false;
  SmtpBodyGo = 0;
  BodyIsHtml = false;
  BodyFormat = mailFormat_ = partFormat_ = {};
  replyHeader_ = false;
  // Each mail is read in its own charset.
  MailCharset.clear();
  headerCharset_.clear();
  mailType_ = partType_ = MailPartType::None;
  mailIsFile_ = partIsFile_ = partCollected_ = bodyChosen_ = false;
  partCharset_.clear();
  partEncoding_.clear();
  Importance = false;
  PreSetTimeAct = 0;
  From_Str.clear();
  Subj_Str.clear();
  Encoding_Str.clear();
  Boundary_Str.clear();
  InnerBoundaries.clear();
  BodyMail_Str.clear();
  BodyASCI_Str.clear();
  BodySMS_StrA.clear();
  BodySMS_StrB.clear();
}

void TMailRecv::command() {
  GatewayState& gs = g_.state();
  const Settings& cfg = gs.cfg;
  const QByteArray& line = SmtpRecvStr;
  const QByteArray rest = printable(IdStr.mid(4));
  const QString logArg = loggedText(line.mid(5));
  const bool helo = IdStr.startsWith("HELO");
  const bool ehlo = IdStr.startsWith("EHLO");
  const bool offerTls = !TlsActive && tlsAvailable && tlsAvailable();

  // A client that must encrypt first needs EHLO to learn of STARTTLS.
  if (helo || (ehlo && (!cfg.Ehlo500 || cfg.MailTlsRequired))) {
    server_.setReply(ehlo ? EhloReply(cfg, rest, offerTls, !tlsMissing())
                     : cfg.HeloAdd && line.size() > 4 ? kOk + rest
                                                      : kOk);
    endTransaction();
    g_.Log(true, fillPlaceholders(g_.Text(41), {logArg}));
    if (helo && cfg.ToTakeFromRcpt) To_StrLi.clear();
  } else if (ehlo) {
    // The old answer, for a settings file that still asks for it.
    server_.setReply(line.size() > 4 ? "500" + rest : QByteArray("500"));
    g_.Log(true, fillPlaceholders(g_.Text(40), {logArg}) + QStringLiteral(" - EHLO"));
  } else if (IdStr.startsWith("STARTTLS")) {
    startTls();
  } else if (IdStr.startsWith("AUTH") && tlsMissing()) {
    server_.setReply("538 5.7.11 Encryption required");
  } else if (IdStr.startsWith("AUTH")) {
    auth(line);
  } else if (IdStr.startsWith("MAIL") && tlsMissing()) {
    server_.setReply("530 5.7.0 Must issue a STARTTLS command first");
  } else if (IdStr.startsWith("MAIL")) {
    const auto address = bracketedAddress(line);
    const auto size = DeclaredMailSize(IdStr);
    const int maxMB = std::max(1, cfg.SmtpMaxMailMB);
    if (authRequired()) {
      server_.setReply("530 5.7.0 Authentication required");
    } else if (!address) {
      server_.setReply(kNoBrackets);
    } else if (size && *size > SmtpMaxMailBytes(cfg)) {
      // Refused before the client sends what would be refused at its end.
      server_.setReply("552 Kolvane mail over " + QByteArray::number(maxMB) + " MB");
      g_.Log(true, fillPlaceholders(g_.Text(330), {NamePC_IPAdr, QString::number(*size),
                                                   QString::number(maxMB)}));
    } else {
      server_.setReply(kOk + ' ' + printable(*address) + " sender ok");
      EnvelopeFrom = *address;
      mailGiven_ = true;
    }
  } else if (IdStr.startsWith("RCPT")) {
    if (mailGiven_) {
      rcpt(line);
    } else {
      server_.setReply(kBadSequence);
    }
  } else if (IdStr.startsWith("DATA")) {
    if (!mailGiven_ || !rcptGiven_) {
      server_.setReply(kBadSequence);
      return;
    }
    server_.setReply("354 Kolvane");
    SmtpDataOn = true;
    DATAInit();
    SmtpTo_Go = false;
  } else if (IdStr.startsWith("RSET")) {
    server_.setReply(kOk);
    endTransaction();
    if (cfg.ToTakeFromRcpt) To_StrLi.clear();
  } else if (IdStr.startsWith("NOOP")) {
    server_.setReply(kOk);
  } else if (IdStr.startsWith("VRFY")) {
    server_.setReply("252 Kolvane");  // any address is taken; the number decides
  } else if (IdStr.startsWith("HELP")) {
    server_.setReply("214 Kolvane");
  } else if (IdStr.startsWith("QUIT")) {
    server_.setReply("221 Kolvane");
    g_.Log(true, fillPlaceholders(g_.Text(93), {QString::number(SmtpSaveOkCnt)}));
    gs.cfg.EmlInCnt += SmtpSaveOkCnt;
    gs.CountersChanged = true;
    if (SmtpSaveErrCnt > 0) {
      g_.Log(true, fillPlaceholders(g_.Text(94), {QString::number(SmtpSaveErrCnt)}));
    }
    SmtpSaveOkCnt = 0;
    SmtpSaveErrCnt = 0;
    QuitSeen = true;
    if (onQuit) onQuit();
  } else {
    // Whatever else: a client waiting for an answer gets one.
    server_.setReply("502 Kolvane");
  }
}

void TMailRecv::rcpt(const QByteArray& line) {
  GatewayState& gs = g_.state();
  const auto address = bracketedAddress(line);
  if (!address) {
    server_.setReply(kNoBrackets);
    return;
  }
  if (gs.cfg.ToTakeFromRcpt) {
    QList<QByteArray> found;
    // An address without "@" would make no SMS: refused now rather than dropped later.
    if (!AddRcptList(*address, found, {gs.cfg.ReplAddrOn, &gs.Replacements})) {
      server_.setReply("550 Kolvane " + printable(*address) + " no mail address");
      return;
    }
    if (!takeRecipients(found)) {
      server_.setReply("452");
      return;
    }
  }
  server_.setReply(kOk + ' ' + printable(*address) + " recipient ok");
  rcptGiven_ = true;
}

bool TMailRecv::takeRecipients(const QList<QByteArray>& found) {
  const qsizetype max = std::max(1, g_.state().cfg.SmtpMaxRcpt);
  QList<QByteArray> keys;
  keys.reserve(To_StrLi.size());
  for (const QByteArray& a : std::as_const(To_StrLi)) keys << recipientKey(a);
  bool all = true;
  for (const QByteArray& address : found) {
    const QByteArray key = recipientKey(address);
    if (keys.contains(key)) continue;
    if (To_StrLi.size() >= max) {
      all = false;
      continue;
    }
    To_StrLi << address;
    keys << key;
  }
  return all;
}

void TMailRecv::refuseMail(const QByteArray& reply, const QString& why) {
  server_.setReply(reply);
  g_.Log(true,
         QStringLiteral("SMTP client \"%1\" sent a mail %2: not accepted").arg(NamePC_IPAdr, why));
  SmtpDataOn = false;
  endTransaction();
  if (g_.state().cfg.ToTakeFromRcpt) To_StrLi.clear();
  clearMail();
}

void TMailRecv::endOfMail() {
  if (mailTooBig_) {
    refuseMail("552", QStringLiteral("over %1 MB").arg(std::max(1, g_.state().cfg.SmtpMaxMailMB)));
    return;
  }
  MailDecode();
  // A mail that would make no SMS is refused while its sender still hears of it.
  if (To_StrLi.isEmpty()) {
    refuseMail("554 Kolvane no recipient", QStringLiteral("without a recipient"));
    return;
  }
  if (BodySMS_Str.isEmpty() && BodySMS_Utf8Str.isEmpty()) {
    refuseMail("554 Kolvane no text", QStringLiteral("without text"));
    return;
  }
  server_.SmtpNetRun = true;
  endTransaction();
  MailPlan plan = MailToJobs();
  // The mail is over; the next one names its own recipients.
  if (g_.state().cfg.ToTakeFromRcpt) To_StrLi.clear();
  storing_ = true;
  const std::weak_ptr<bool> alive = alive_;
  const std::uint32_t session = session_;
  CommitMailPlan(g_, std::move(plan), [this, alive, session](const PlanOutcome& outcome) {
    if (alive.expired()) return;
    storeFinished(session, outcome);
  });
}

void TMailRecv::storeFinished(std::uint32_t session, const PlanOutcome& outcome) {
  storing_ = false;
  server_.SmtpNetRun = false;
  if (onStoreWritten) {
    for (const QString& name : outcome.filesWritten) onStoreWritten(name);
  }
  // A client that went away while its mail was stored gets no answer; the mail is kept.
  if (session == session_) {
    SmtpSaveOkCnt += outcome.jobsWritten;
    SmtpSaveErrCnt += outcome.reportsWritten;
    server_.setReply(outcome.stored ? kOk : kStoreFailed);
    if (outcome.stored && onMailAccepted) onMailAccepted();
  }
  replayHeldLines();
  if (!storing_ && onStoreFinished) onStoreFinished();
}

void TMailRecv::dropHeldLines() {
  heldLines_.clear();
  heldBytes_ = 0;
  heldOver_ = false;
}

// Lines sent while the mail in hand is stored wait their turn, as much as a mail may hold. A
// client that sends more does not wait for its replies: the rest is dropped, and the session
// ends once the lines kept are answered.
void TMailRecv::holdLine(HeldLine held) {
  constexpr qint64 kLineCost = 64;  // a held line's own bookkeeping
  const qint64 cost = held.line.size() + kLineCost;
  if (heldOver_ || heldBytes_ + cost > SmtpMaxMailBytes(g_.state().cfg)) {
    heldOver_ = true;
    return;
  }
  heldBytes_ += cost;
  heldLines_.append(std::move(held));
}

void TMailRecv::replayHeldLines() {
  const auto lines = std::exchange(heldLines_, {});
  heldBytes_ = 0;
  const bool over = std::exchange(heldOver_, false);
  // A line that ends another mail holds the rest again, in order.
  for (const HeldLine& h : lines) AddRecvStr(h.line, h.dropped, h.end, h.before);
  if (!over || QuitSeen) return;
  // Told after the answer to the mail now stored (or the login now checked), when one is.
  if (storing_ || linesHeld_) {
    heldOver_ = true;
    return;
  }
  g_.Log(true, fillPlaceholders(
                   g_.Text(611),
                   {NamePC_IPAdr, QString::number(std::max(1, g_.state().cfg.SmtpMaxMailMB))}));
  SmtpDataOn = false;
  clearMail();
  server_.setReply("421 Kolvane too much sent before the replies, closing");
  QuitSeen = true;
  if (onQuit) onQuit();
}

}  // namespace kolvane
