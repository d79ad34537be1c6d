#include "mail/pop3_dialogue.h"

#include <QDateTime>
#include <algorithm>
#include <numeric>

#include "core/gateway.h"
#include "mail/client_limits.h"
#include "mail/pop3_dialogue_list.h"
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

qsizetype totalSize(const QList<QByteArray>& list) {
  return std::accumulate(list.begin(), list.end(), qsizetype{0},
                         [](qsizetype sum, const QByteArray& m) { return sum + m.size(); });
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
  Pop3User.clear();
  Pop3MsgList.clear();
  Pop3ClientPos = 0;
  Pop3MaxPosID = 0;
  server_.Pop3RecvStr.clear();
  lineTooLong_ = false;
}

int Pop3Dialogue::AddRecvBytes(const QByteArray& bytes) {
  int lines = 0;
  const char* at = bytes.constData();
  const char* const end = at + bytes.size();
  while (at != end) {
    const char* brk = findLineBreak(at, end);
    QByteArray& pending = server_.Pop3RecvStr;
    if (appendToLine(pending, at, brk, kMaxLineBytes) > 0) lineTooLong_ = true;
    if (brk == end) break;
    at = brk + 1;
    if (pending.isEmpty()) continue;
    const QByteArray line = std::exchange(pending, {});
    ++lines;
    g_.Log(g_.state().cfg.Debug,
           QStringLiteral("POP3 DATA<-|") + loggedText(line) + QLatin1Char('|'));
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
  if (verb == "AUTH" || verb == "CAPA") {
    server_.setReply("-ERR");
  } else if (verb == "USER") {
    user(line);
  } else if (verb == "PASS" || verb == "NOOP") {
    server_.setReply("+OK");
  } else if (verb == "QUIT") {
    quit();
  } else if (verb == "STAT" || verb == "LIST" || verb == "UIDL" || verb == "RETR" ||
             verb == "DELE") {
    if (!listBuilt_) {
      server_.setReply("-ERR");  // no USER in this connection yet
    } else if (verb == "STAT") {
      server_.setReply("+OK " + QByteArray::number(Pop3MsgList.size()) + ' ' +
                       QByteArray::number(totalSize(Pop3MsgList)));
    } else if (verb == "LIST") {
      server_.setReply(listReply(line));
    } else if (verb == "UIDL") {
      server_.setReply(uidlReply(line));
    } else if (verb == "RETR") {
      server_.setReply(retrReply(line));
    } else {
      server_.setReply(deleReply(line));
    }
  } else {
    server_.setReply("-ERR");  // TOP and whatever else this server does not know
  }
}

void Pop3Dialogue::user(const QByteArray& line) {
  Pop3User = line.mid(5);
  g_.Log(true, fillPlaceholders(g_.Text(27), {loggedText(Pop3User)}));
  Pop3MsgListBuild built = BuildPop3MsgList(g_, client_);
  Pop3MsgList = std::move(built.Pop3MsgList);
  Pop3ClientPos = built.Pop3ClientPos;
  Pop3MaxPosID = built.Pop3MaxPosID;
  listBuilt_ = true;
  server_.setReply("+OK");
}

std::optional<qsizetype> Pop3Dialogue::validNumber(const QByteArray& line) const {
  const long long n = argument(line);
  if (n < 1 || n > Pop3MsgList.size()) return std::nullopt;
  return static_cast<qsizetype>(n);
}

QByteArray Pop3Dialogue::uidStamp() const {
  return fromDateTime(g_.clock().now()).toString(QStringLiteral("yyMMddhhmmsszzz")).toLatin1();
}

QByteArray Pop3Dialogue::listReply(const QByteArray& line) const {
  if (line.size() < 5) {
    QByteArray r = "+OK " + QByteArray::number(Pop3MsgList.size()) + "\r\n";
    for (qsizetype i = 0; i < Pop3MsgList.size(); ++i) {
      r += QByteArray::number(i + 1) + ' ' + QByteArray::number(Pop3MsgList[i].size()) + "\r\n";
    }
    return r + '.';
  }
  const auto n = validNumber(line);
  if (!n) return "-ERR";
  return "+OK " + QByteArray::number(*n) + ' ' + QByteArray::number(Pop3MsgList[*n - 1].size());
}

QByteArray Pop3Dialogue::uidlReply(const QByteArray& line) const {
  const QByteArray stamp = uidStamp();
  if (line.size() < 5) {
    QByteArray r = "+OK " + QByteArray::number(Pop3MsgList.size()) + "\r\n";
    for (qsizetype i = 0; i < Pop3MsgList.size(); ++i) {
      r += QByteArray::number(i + 1) + ' ' + stamp + QByteArray::number(i) + "\r\n";
    }
    return r + '.';
  }
  const auto n = validNumber(line);
  if (!n) return "-ERR";
  return "+OK " + QByteArray::number(*n) + ' ' + stamp + QByteArray::number(*n);
}

QByteArray Pop3Dialogue::retrReply(const QByteArray& line) const {
  const auto n = validNumber(line);
  if (!n || Pop3MsgList[*n - 1].isEmpty()) return "-ERR";
  const QByteArray& message = Pop3MsgList[*n - 1];
  return "+OK " + QByteArray::number(message.size()) + "\r\n" + message;
}

QByteArray Pop3Dialogue::deleReply(const QByteArray& line) {
  const auto n = validNumber(line);
  if (!n || Pop3MsgList[*n - 1].isEmpty()) return "-ERR";
  Pop3MsgList[*n - 1].clear();
  return "+OK";
}

void Pop3Dialogue::quit() {
  GatewayState& gs = g_.state();
  const auto deleted = std::count_if(Pop3MsgList.begin(), Pop3MsgList.end(),
                                     [](const QByteArray& m) { return m.isEmpty(); });
  g_.Log(true, fillPlaceholders(g_.Text(32), {QString::number(deleted)}));
  gs.cfg.EmlOutCnt += static_cast<int>(deleted);
  gs.CountersChanged = true;
  if (!Pop3MsgList.isEmpty()) {
    for (const QByteArray& message : Pop3MsgList) {
      if (message.isEmpty()) continue;
      g_.Log(true, fillPlaceholders(g_.Text(33), {client_}) + QLatin1Char(' ') +
                       QString::fromLatin1(fromLine(message)));
    }
    const QByteArray position = QByteArray::number(Pop3MaxPosID);
    if (IniFile* ini = g_.settingsFile()) {
      ini->setValue(QStringLiteral("ClientsPos"), client_, QString::fromLatin1(position));
    }
    if (onPositionSaved) onPositionSaved(client_, position);
  }
  server_.setReply("+OK");
}

}  // namespace kolvane
