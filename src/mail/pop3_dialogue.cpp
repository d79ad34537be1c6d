#include "mail/pop3_dialogue.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "context/gateway_context.h"
#include "mail/client_limits.h"
#include "mail/pop3_dialogue_list.h"
#include "mail/pop3_extensions.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

QByteArray asciiUpper(QByteArray text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The argument of LIST, UIDL, RETR and DELE: the line from its fifth character as a decimal
// number (leading spaces allowed), -1 otherwise.
long long argument(const QByteArray& line) {
  QByteArray text = line.mid(4);
  const auto digitsFrom = std::find_if(text.begin(), text.end(), [](char c) { return c != ' '; });
  text = text.mid(digitsFrom - text.begin());
  if (text.isEmpty() || text.back() == ' ') return -1;
  bool ok = false;
  const long long n = text.toLongLong(&ok, 10);
  return ok ? n : -1;
}

qsizetype totalSize(const QList<Pop3Message>& list) {
  return std::accumulate(
      list.begin(), list.end(), qsizetype{0},
      [](qsizetype sum, const Pop3Message& m) { return m.deleted ? sum : sum + m.text.size(); });
}

// Lines that begin with "." get one more, so only the closing line is a lone ".".
QByteArray dotStuffed(const QByteArray& message) {
  QByteArray out = message;
  if (out.startsWith('.')) out.prepend('.');
  return out.replace("\r\n.", "\r\n..");
}

// The "From: " line of a rendered message, up to the first CR.
QByteArray fromLine(const QByteArray& message) {
  const qsizetype at = message.indexOf("From: ");
  if (at < 0) return {};
  const qsizetype cr = message.indexOf('\r', at);
  return message.mid(at, cr < 0 ? -1 : cr - at);
}

}  // namespace

void Pop3Dialogue::start(const QString& clientName) {
  client_ = clientName;
  listBuilt_ = false;
  userGiven_ = false;
  linesHeld_ = false;
  heldBytes_.clear();
  expecting = ClientLine::Command;
  Pop3User.clear();
  Pop3MsgList.clear();
  Pop3ClientPos = 0;
  Pop3MaxPosID = 0;
  server_.Pop3RecvStr.clear();
  lineTooLong_ = false;
  QuitSeen = false;
}

void Pop3Dialogue::HoldLines(bool on) {
  linesHeld_ = on;
  if (!on && !heldBytes_.isEmpty()) AddRecvBytes({});
}

int Pop3Dialogue::AddRecvBytes(const QByteArray& received) {
  const QByteArray bytes = std::exchange(heldBytes_, {}) + received;
  int lines = 0;
  const char* at = bytes.constData();
  const char* const end = at + bytes.size();
  while (at != end && !QuitSeen) {
    if (linesHeld_) {
      heldBytes_ = QByteArray(at, end - at);
      break;
    }
    const char* brk = findLineBreak(at, end);
    QByteArray& pending = server_.Pop3RecvStr;
    if (appendToLine(pending, at, brk, kMaxLineBytes) > 0) lineTooLong_ = true;
    if (brk == end) break;
    at = brk + 1;
    if (pending.isEmpty()) continue;
    const QByteArray line = std::exchange(pending, {});
    ++lines;
    g_.Log(g_.state().cfg.Debug, QStringLiteral("POP3 DATA<-|") +
                                     loggedText(MaskSecrets(line, expecting)) + QLatin1Char('|'));
    if (std::exchange(lineTooLong_, false)) {
      server_.setReply("-ERR");  // too long for a command
    } else {
      command(line);
    }
  }
  return lines;
}

void Pop3Dialogue::command(const QByteArray& line) {
  const QByteArray verb = asciiUpper(line.left(4));
  if (verb == "AUTH") {
    server_.setReply("-ERR");
  } else if (verb == "CAPA") {
    server_.setReply(Pop3CapaReply());
  } else if (verb == "USER") {
    user(line);
  } else if (verb == "PASS") {
    pass(line);
  } else if (verb == "NOOP") {
    server_.setReply("+OK");
  } else if (verb == "RSET" && listBuilt_) {
    for (Pop3Message& m : Pop3MsgList) m.deleted = false;
    server_.setReply("+OK");
  } else if (verb == "QUIT") {
    quit();
  } else if (verb == "STAT" || verb == "LIST" || verb == "UIDL" || verb == "RETR" ||
             verb == "DELE" || verb == "TOP " || verb == "TOP") {
    if (!listBuilt_) {
      server_.setReply("-ERR");  // no USER in this connection yet
    } else if (verb == "STAT") {
      server_.setReply("+OK " + QByteArray::number(liveCount()) + ' ' +
                       QByteArray::number(totalSize(Pop3MsgList)));
    } else if (verb == "LIST") {
      server_.setReply(listReply(line));
    } else if (verb == "UIDL") {
      server_.setReply(uidlReply(line));
    } else if (verb == "RETR") {
      server_.setReply(retrReply(line));
    } else if (verb.startsWith("TOP")) {
      server_.setReply(topReply(line));
    } else {
      server_.setReply(deleReply(line));
    }
  } else {
    server_.setReply("-ERR");  // whatever this server does not know
  }
}

void Pop3Dialogue::user(const QByteArray& line) {
  if (AccountsSet(g_.state().cfg)) {
    // Answered alike for every name: only PASS tells, and not which of the two was wrong.
    if (listBuilt_) {
      server_.setReply("-ERR already logged in");
      return;
    }
    Pop3User = line.mid(5);
    userGiven_ = true;
    server_.setReply("+OK");
    return;
  }
  if (mayOpenMailbox && !mayOpenMailbox()) {
    server_.setReply("-ERR [IN-USE] mailbox in use");
    return;
  }
  Pop3User = line.mid(5);
  g_.Log(true, fillPlaceholders(g_.Text(27), {loggedText(Pop3User)}));
  openMailbox();
}

void Pop3Dialogue::pass(const QByteArray& line) {
  const Settings& cfg = g_.state().cfg;
  if (!AccountsSet(cfg)) {
    server_.setReply("+OK");  // the PC decides the mailbox
    return;
  }
  if (listBuilt_ || !std::exchange(userGiven_, false)) {
    server_.setReply(listBuilt_ ? "-ERR already logged in" : "-ERR USER first");
    return;
  }
  const LoginResult result = CheckLogin(cfg, Pop3User, line.mid(5));
  if (onLogin && !onLogin(result)) return;
  if (!result.ok) {
    g_.Log(true, fillPlaceholders(g_.Text(591), {QStringLiteral("POP3"), client_}));
    server_.setReply("-ERR [AUTH] invalid user name or password");
    return;
  }
  client_ = result.account;
  if (mayOpenMailbox && !mayOpenMailbox()) {
    server_.setReply("-ERR [IN-USE] mailbox in use");
    return;
  }
  g_.Log(true, fillPlaceholders(g_.Text(27), {client_}));
  openMailbox();
}

void Pop3Dialogue::openMailbox() {
  Pop3MsgListBuild built = BuildPop3MsgList(g_, client_);
  Pop3MsgList = std::move(built.Pop3MsgList);
  Pop3ClientPos = built.Pop3ClientPos;
  Pop3MaxPosID = built.Pop3MaxPosID;
  listBuilt_ = true;
  server_.setReply("+OK");
}

std::optional<qsizetype> Pop3Dialogue::validNumber(const QByteArray& line) const {
  const long long n = argument(line);
  if (n < 1 || n > Pop3MsgList.size() || Pop3MsgList[n - 1].deleted) return std::nullopt;
  return static_cast<qsizetype>(n);
}

qsizetype Pop3Dialogue::liveCount() const {
  return std::count_if(Pop3MsgList.begin(), Pop3MsgList.end(),
                       [](const Pop3Message& m) { return !m.deleted; });
}

// LIST and UIDL: one line per message that is not deleted, or the line of message n.
QByteArray Pop3Dialogue::scanReply(const QByteArray& line,
                                   QByteArray (*field)(const Pop3Message&)) const {
  if (line.size() < 5) {
    QByteArray r = "+OK " + QByteArray::number(liveCount()) + "\r\n";
    for (qsizetype i = 0; i < Pop3MsgList.size(); ++i) {
      if (Pop3MsgList[i].deleted) continue;
      r += QByteArray::number(i + 1) + ' ' + field(Pop3MsgList[i]) + "\r\n";
    }
    return r + '.';
  }
  const auto n = validNumber(line);
  if (!n) return "-ERR";
  return "+OK " + QByteArray::number(*n) + ' ' + field(Pop3MsgList[*n - 1]);
}

QByteArray Pop3Dialogue::listReply(const QByteArray& line) const {
  return scanReply(line, [](const Pop3Message& m) { return QByteArray::number(m.text.size()); });
}

QByteArray Pop3Dialogue::uidlReply(const QByteArray& line) const {
  return scanReply(line, [](const Pop3Message& m) { return m.uid; });
}

QByteArray Pop3Dialogue::retrReply(const QByteArray& line) {
  const auto n = validNumber(line);
  if (!n) return "-ERR";
  Pop3Message& message = Pop3MsgList[*n - 1];
  message.retrieved = true;
  return "+OK " + QByteArray::number(message.text.size()) + "\r\n" + dotStuffed(message.text) + '.';
}

// The header and the first lines of the body; the message stays in the PC's box.
QByteArray Pop3Dialogue::topReply(const QByteArray& line) const {
  const auto args = ParseTopArguments(line);
  if (!args || args->message < 1 || args->message > Pop3MsgList.size()) return "-ERR";
  const Pop3Message& message = Pop3MsgList[args->message - 1];
  if (message.deleted) return "-ERR";
  return "+OK\r\n" + dotStuffed(TopOfMessage(message.text, args->lines)) + '.';
}

QByteArray Pop3Dialogue::deleReply(const QByteArray& line) {
  const auto n = validNumber(line);
  if (!n) return "-ERR";
  Pop3MsgList[*n - 1].deleted = true;
  return "+OK";
}

std::int64_t Pop3Dialogue::positionAfterQuit() const {
  // Past every record of the store, unless a message stays: then just below the first one.
  std::int64_t position = Pop3MaxPosID;
  for (const Pop3Message& m : Pop3MsgList) {
    if (!m.retrieved && !m.deleted) position = std::min(position, m.posId - 1);
  }
  return std::max(position, Pop3ClientPos);
}

void Pop3Dialogue::quit() {
  QuitSeen = true;
  GatewayState& gs = g_.state();
  const auto deleted = std::count_if(Pop3MsgList.begin(), Pop3MsgList.end(),
                                     [](const Pop3Message& m) { return m.deleted; });
  g_.Log(true, fillPlaceholders(g_.Text(32), {QString::number(deleted)}));
  gs.cfg.EmlOutCnt += static_cast<int>(deleted);
  gs.CountersChanged = true;
  if (!Pop3MsgList.isEmpty()) {
    for (const Pop3Message& message : Pop3MsgList) {
      if (message.deleted || message.retrieved) continue;
      g_.Log(true, fillPlaceholders(g_.Text(33), {client_}) + QLatin1Char(' ') +
                       QString::fromLatin1(fromLine(message.text)));
    }
    const QByteArray position = QByteArray::number(positionAfterQuit());
    if (IniFile* ini = g_.settingsFile()) {
      ini->setValue(QStringLiteral("ClientsPos"), client_, QString::fromLatin1(position));
    }
    if (onPositionSaved) onPositionSaved(client_, position);
  }
  server_.setReply("+OK");
}

}  // namespace kolvane
