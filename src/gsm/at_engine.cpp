#include "gsm/at_engine.h"

#include "context/gateway_context.h"
#include "gsm/link_state.h"

namespace kolvane::at {

namespace {

bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

// While the list is coming in every byte refreshes the stall timer; zero would mean idle.
Tick NonZeroTick(Tick t) {
  return t == 0 ? 1 : t;
}

}  // namespace

CommandInFlight InFlight(const LinkState& link) {
  const AtEngine& e = link.At;
  CommandInFlight c;
  c.continuation = e.continuation;
  c.timeout = link.GsmTimeout;
  c.writes = e.writes;
  if (link.WaitResult) {
    // GsmSendStr is the body now; the send command's own answer comes after it.
    c.bodyOut = true;
    c.bodyLeft = QByteArrayView(link.GsmSmsBody).sliced(qMin(e.bodyEchoed, link.GsmSmsBody.size()));
    c.bodyEchoing = e.bodyEchoing;
    c.expected = {QByteArrayView("+CMGS"), QByteArrayView("+CMGW")};
    return c;
  }
  c.command = link.GsmSendStr;
  c.promptAwaited = link.WaitPrompt;
  if (!link.WaitPrompt) c.expected = ExpectedPrefixes(link.GsmSendStr);
  const QByteArray upper = link.GsmSendStr.left(3).toUpper();
  c.dialling = upper == "ATD" || upper == "ATA";
  return c;
}

namespace {

// The fields of a header, commas inside double quotes not counted.
QList<QByteArrayView> HeaderFields(QByteArrayView header) {
  QList<QByteArrayView> fields;
  const qsizetype colon = header.indexOf(':');
  qsizetype from = colon + 1;
  bool quoted = false;
  for (qsizetype i = from; i <= header.size(); ++i) {
    if (i == header.size() || (header[i] == ',' && !quoted)) {
      fields << header.sliced(from, i - from).trimmed();
      from = i + 1;
    } else if (header[i] == '"') {
      quoted = !quoted;
    }
  }
  return fields;
}

// A listed entry's header: its body follows on the next line. A text body of known length
// (the seventh field) may run over several lines; a PDU or a text without it is one line.
void EntryHeader(AtEngine& e, QByteArrayView header) {
  e.continuation = 2;
  e.bodyBytesLeft = 0;
  e.bodyBytesBegun = false;
  const QList<QByteArrayView> fields = HeaderFields(header);
  const bool text = fields.size() > 1 && fields[1].startsWith('"');
  if (!text || fields.size() < 7 || !header.startsWith("+CMGL")) return;
  bool ok = false;
  const int length = fields[6].toInt(&ok);
  // A body of known length reads as anything, even "OK"; an empty one is no line at all.
  if (ok && length > 0) {
    e.bodyBytesLeft = length;
    e.continuation = 1;
  }
}

// An echo or a code is no part of the listing the list reader parses: the line and its end
// are the last bytes taken into it.
void DropFromListing(LinkState& link, QByteArrayView line) {
  QByteArray& buf = link.ListBuf;
  if (link.ListTick == 0 || buf.size() <= line.size()) return;
  if (QByteArrayView(buf).chopped(1).endsWith(line)) buf.truncate(buf.size() - line.size() - 1);
}

}  // namespace

bool ByteReceived(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  AtEngine& e = link.At;
  const QByteArray& recv = link.GsmRecvStr;
  if (recv.isEmpty()) return false;
  const char byte = recv.back();
  if (link.ListTick != 0) {
    link.ListTick = NonZeroTick(gateway.clock().tick());
    link.ListBuf += byte;
  }
  if (recv.size() == 1) e.bodyBytesAtLineStart = e.bodyBytesLeft;
  if (e.continuation != 0 && e.bodyBytesLeft > 0 && (e.bodyBytesBegun || !IsLineEnd(byte))) {
    e.bodyBytesBegun = true;
    --e.bodyBytesLeft;
  }
  return link.WaitPrompt && Visible(recv).startsWith('>');
}

Reading ReadLine(GatewayContext& gateway, const QByteArray& line) {
  LinkState& link = gateway.link();
  AtEngine& e = link.At;
  Reading r;
  static_cast<SortedLine&>(r) = SortLine(line, InFlight(link));
  r.text = Visible(line).toByteArray();
  switch (r.kind) {
    case LineKind::Continuation:
      r.code = UnsolicitedKindOf(line);
      if (r.code != UnsolicitedKind::Other) {
        // A code the modem sent between the header and its body (the list reader tells a text
        // that reads like one): the body may still come, and it may end with the next line.
        e.bodyBytesLeft = e.bodyBytesAtLineStart;
        e.bodyBytesBegun = false;
        e.continuation = 2;
        break;
      }
      e.continuation = e.bodyBytesLeft > 0 ? 2 : 0;
      break;
    case LineKind::Echo:
      if (r.bodyEchoed > 0) {
        e.bodyEchoed += r.bodyEchoed;
        e.bodyEchoing = true;
      } else {
        e.owed = 0;  // the modem echoes the command in flight: earlier answers were lost
      }
      DropFromListing(link, line);
      break;
    case LineKind::Information: {
      e.owed = 0;  // its own answer: nothing else is owed
      e.continuation = 0;
      const QByteArray upper = r.text.toUpper();
      if (upper.startsWith("+CMGL") || upper.startsWith("+CMGR")) EntryHeader(e, upper);
      break;
    }
    case LineKind::Final:
      e.continuation = 0;
      if (e.owed > 0) {
        --e.owed;
        // What a listing collected so far was that answer, not the list.
        if (link.ListTick != 0) {
          link.ListBuf.clear();
          link.ListPrev.clear();
        }
      } else if (!(link.GsmSendOn && e.writes == 0)) {
        // A command not written yet is answered by nothing that comes before it.
        r.credited = true;
        e.lastResult = *r.final;
        if (e.writes > 0) --e.writes;
      }
      break;
    case LineKind::Unsolicited:
      e.setAsideBytes += line.size();
      // A line nobody knows may still be a listed body whose header came garbled.
      if (r.code != UnsolicitedKind::Other) DropFromListing(link, line);
      break;
    case LineKind::Prompt:
      break;
  }
  return r;
}

void NewCommand(LinkState& link) {
  AtEngine& e = link.At;
  e.owed += e.writes;
  e.writes = 0;
  e.continuation = 0;
  e.bodyEchoed = 0;
  e.bodyEchoing = false;
}

void CommandWritten(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  const Tick now = gateway.clock().tick();
  link.NoAnswerCnt += 1;
  link.LastSendTick = now;
  link.LastActTick = now;
  link.AnswerActTick = now;
  ++link.At.writes;
  // The send command opens the prompt; its body, ended by Ctrl-Z, closes it.
  if (link.WaitPrompt) link.At.promptMayBeOpen = true;
  if (link.WaitResult) link.At.promptMayBeOpen = false;
}

void ClearEngine(LinkState& link) {
  AtEngine& e = link.At;
  e.writes = 0;
  e.owed = 0;
  e.kickOffGarbled = false;
  e.continuation = 0;
  e.bodyEchoed = 0;
  e.bodyEchoing = false;
  e.settling = false;
}

void ConnectionOpened(LinkState& link) {
  ClearEngine(link);
  link.At.promptMayBeOpen = false;
  link.At.escapeWanted = false;
  link.At.kickedOff = false;
  link.At.numericErrorsAsked = false;
  link.At.leftOut.clear();
  link.At.restarted = false;
}

bool NothingOwed(const LinkState& link) {
  return link.At.writes == 0 && link.At.owed == 0;
}

WriteStep NextWrite(LinkState& link, Tick now, Tick* due) {
  AtEngine& e = link.At;
  // Whatever left the modem at its prompt, nothing is typed into that body.
  if (e.escapeWanted || (e.promptMayBeOpen && !link.WaitResult)) return WriteStep::Escape;
  if (e.settling && tickBefore(now, SettleDue(link))) {
    *due = SettleDue(link);
    return WriteStep::Hold;
  }
  e.settling = false;
  return WriteStep::Command;
}

void EscapeWritten(LinkState& link, Tick now) {
  AtEngine& e = link.At;
  e.escapeWanted = false;
  e.promptMayBeOpen = false;
  // A modem at its prompt answers the ESC, or not: what comes until the line is quiet is
  // nobody's answer.
  e.settling = true;
  e.settleFrom = now;
  e.lastByteTick = now;
  link.KickOffDiscard = true;
  link.LastActTick = now;
}

void BytesDiscarded(LinkState& link, Tick now) {
  link.At.lastByteTick = now;
  link.LastActTick = now;
}

bool Settling(const LinkState& link) {
  return link.At.settling;
}

Tick SettleDue(const LinkState& link) {
  const AtEngine& e = link.At;
  const Tick quiet = e.lastByteTick + kQuietMs;
  const Tick latest = e.settleFrom + kQuietMaxMs;
  return tickBefore(quiet, latest) ? quiet : latest;
}

bool LeftOut(const LinkState& link, QByteArrayView command) {
  return link.At.leftOut.contains(CommandName(command));
}

}  // namespace kolvane::at
