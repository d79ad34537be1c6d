#include "gsm/sms_list_scan.h"

#include <QSet>
#include <algorithm>
#include <array>
#include <optional>

#include "context/gateway_context.h"
#include "gsm/gsm_alphabet.h"
#include "gsm/link_state.h"
#include "gsm/pdu_codec.h"
#include "gsm/sms_groups.h"
#include "gsm/sms_list_body.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr int kUnreadableListings = 3;

bool IsLineEndByte(char c) {
  return c == '\r' || c == '\n';
}

void StripTrailing(QByteArray& s, bool (*strip)(char)) {
  while (!s.isEmpty() && strip(s.back())) s.chop(1);
}

std::int32_t NumberOr(const QByteArray& field, std::int32_t fallback) {
  bool ok = false;
  const int v = field.trimmed().toInt(&ok);
  return ok ? v : fallback;
}

// Fields 1..10 of a header without its "CMGL: ": a field with a double quote before its next
// comma is the text between the quotes, anything after the closing quote is dropped.
std::array<QByteArray, 10> HeaderFields(QByteArray h) {
  h += QByteArray(11, ',');
  std::array<QByteArray, 10> fields;
  qsizetype pos = 0;
  for (QByteArray& field : fields) {
    const qsizetype comma = h.indexOf(',', pos);
    const qsizetype open = h.indexOf('"', pos);
    const qsizetype close = open < 0 ? -1 : h.indexOf('"', open + 1);
    if (open >= 0 && open < comma && close >= 0) {
      field = h.mid(open + 1, close - open - 1);
      const qsizetype next = h.indexOf(',', close + 1);
      pos = next < 0 ? h.size() : next + 1;
    } else {
      field = h.mid(pos, comma - pos);
      pos = comma + 1;
    }
  }
  return fields;
}

tSmsRec RecordOfHeader(const QByteArray& header) {
  const std::array<QByteArray, 10> f = HeaderFields(header.mid(6));
  tSmsRec rec;
  rec.MemPos = NumberOr(f[0], -1);
  rec.SmsMode = f[1];
  rec.TelStr = f[2];
  rec.Time = f[4];
  rec.SmsType = NumberOr(f[5], -1);
  rec.SmsLen = NumberOr(f[6], -1);
  return rec;
}

// The sender as decoded from a PDU; in text mode the header's address and its type, a name
// shown in the modem's GSM character set.
struct Sender {
  QByteArray address;
  std::int32_t type = -1;
};

void StoreMessage(GatewayContext& g, const QByteArray& header, const ListedBody& body,
                  const std::optional<Sender>& decoded) {
  LinkState& link = g.link();
  tSmsRec rec = RecordOfHeader(header);
  if (decoded) {
    rec.TelStr = decoded->address;
    rec.TelType = decoded->type;
  } else {
    rec.TelType = rec.SmsType;
    if (IsAlphanumericType(rec.TelType)) rec.TelStr = GsmAlphabetToText(rec.TelStr);
  }
  // An empty message, or one without a sender, still reaches the mail programs and leaves the
  // device; kept there it would be listed again until the storage is full.
  if (body.text.isEmpty()) {
    if (rec.MemPos >= 0) link.SmsRecvArr.append(rec);
    return;
  }
  rec.Text = EscapeSmsText(body.text);
  rec.LoID = body.LoID;
  rec.LoHi = body.LoHi;
  rec.LoNo = body.LoNo;
  rec.LoStat = 1;
  link.SmsRecvArr.append(rec);
  PutPartInGroup(link.SmsLongArr, rec);
}

// An entry the reader cannot make a message of goes to the store as it was listed, so that
// it is deleted like any other instead of filling the storage.
void StoreUndecodable(GatewayContext& g, const QByteArray& header, const QByteArray& raw,
                      const Sender& sender) {
  tSmsRec rec = RecordOfHeader(header);
  rec.TelStr = sender.address;
  rec.TelType = sender.type;
  rec.Text = EscapeSmsText(raw);
  rec.Undecodable = true;
  g.link().SmsRecvArr.append(rec);
}

// Start of field `n` (1-based) of a header, quoted fields holding commas; -1 past the end.
qsizetype FieldStart(QByteArrayView header, int n) {
  qsizetype i = 0;
  for (int commas = 0; commas < n - 1; ++i) {
    if (i >= header.size()) return -1;
    if (header[i] == '"') {
      i = header.indexOf('"', i + 1);
      if (i < 0) return -1;
    } else if (header[i] == ',') {
      ++commas;
    }
  }
  return i;
}

// The length field as listed; nullopt when the header has none.
std::optional<QByteArray> LengthField(QByteArrayView header) {
  const qsizetype i = FieldStart(header, 7);
  if (i < 0 || i > header.size()) return std::nullopt;
  qsizetype end = header.indexOf(',', i);
  if (end < 0) end = header.size();
  return header.sliced(i, end - i).toByteArray().trimmed();
}

// A length no SMS can have (a text holds at most 160 characters).
bool ImpossibleLength(QByteArrayView header) {
  const std::optional<QByteArray> field = LengthField(header);
  if (!field || field->isEmpty()) return false;
  bool ok = false;
  const int length = field->toInt(&ok);
  return !ok || length < 0 || length > 160;
}

// A status report lists its first octet where a message lists its quoted sender, and has no
// body line.
bool IsStatusReportHeader(QByteArrayView header) {
  const qsizetype i = FieldStart(header, 3);
  if (i < 0 || i >= header.size() || header[i] == '"') return false;
  qsizetype end = header.indexOf(',', i);
  if (end < 0) end = header.size();
  bool ok = false;
  const int fo = header.sliced(i, end - i).toByteArray().trimmed().toInt(&ok);
  return ok && fo >= 0 && fo <= 255 && (fo & 0x03) == 2;
}

// The raw entry: its header and, when one follows, its first body line.
QByteArray RawEntry(const QByteArray& header, const QByteArray& rest) {
  const QByteArray line = FirstBodyLine(rest);
  return "+" + header + (line.isEmpty() ? QByteArray() : "\r\n" + line);
}

// Where the next entry's header begins: "+CMGL" at the start of a line (control bytes before
// it, noise of the line, aside).
qsizetype HeaderStart(const QByteArray& upper) {
  for (qsizetype at = upper.indexOf("+CMGL"); at >= 0; at = upper.indexOf("+CMGL", at + 1)) {
    qsizetype before = at;
    while (before > 0 && static_cast<unsigned char>(upper[before - 1]) < 32 &&
           !IsLineEndByte(upper[before - 1]))
      --before;
    if (before == 0 || IsLineEndByte(upper[before - 1])) return at;
  }
  return -1;
}

QByteArray UnreadableKey(const LinkState& link, std::int32_t index) {
  return QByteArray::number(link.MemIdx) + ':' + QByteArray::number(index);
}

// An entry whose body is missing or cannot be read whole stays in the device and is read again;
// only one that stays unreadable over three listings goes to the mail programs as it was
// listed, and leaves the device.
void EntryUnreadable(GatewayContext& g, const QByteArray& header, const QByteArray& raw,
                     const Sender& sender) {
  LinkState& link = g.link();
  const std::int32_t index = RecordOfHeader(header).MemPos;
  const QByteArray key = UnreadableKey(link, index);
  if (index >= 0 && ++link.UnreadableCounts[key] >= kUnreadableListings) {
    link.UnreadableCounts.remove(key);
    StoreUndecodable(g, header, raw, sender);
    return;
  }
  link.ListDoubtful = true;
  if (index < 0) return;  // no index to delete it by: a header read from a text
  const QString storage = link.MemIdx == 1 ? g.Text(86) : QStringLiteral("SIM");
  g.Log(true, fillPlaceholders(g.Text(481), {QString::number(index), storage}));
}

// After the committing pass: an index listed twice does not add up (one of them was read
// from a text), and unreadable entries no longer listed are forgotten.
void ListingRead(GatewayContext& g, const QList<std::int32_t>& listed) {
  LinkState& link = g.link();
  if (QSet<std::int32_t>(listed.begin(), listed.end()).size() != listed.size())
    link.ListDoubtful = true;
  const QByteArray prefix = QByteArray::number(link.MemIdx) + ':';
  for (auto it = link.UnreadableCounts.begin(); it != link.UnreadableCounts.end();) {
    const bool gone =
        it.key().startsWith(prefix) && !listed.contains(it.key().mid(prefix.size()).toInt());
    it = gone ? link.UnreadableCounts.erase(it) : std::next(it);
  }
}

}  // namespace

int ListedLength(QByteArrayView header) {
  const std::optional<QByteArray> field = LengthField(header);
  if (!field) return -1;
  bool ok = false;
  const int length = field->toInt(&ok);
  return ok && length >= 1 && length <= 160 ? length : -1;
}

QByteArray EscapeSmsText(QByteArrayView text) {
  QByteArray out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == '=' || b > 127)
      out += '=' + QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
    else
      out += c;
  }
  return out;
}

ListScan ScanSmsList(GatewayContext& g, const QByteArray& answer, bool committing) {
  const bool textMode = g.state().cfg.PDUText;
  LinkState& link = g.link();
  QByteArray rest = answer;
  QList<std::int32_t> listed;  // the indexes of this listing's headers
  for (;;) {
    const QByteArray upper = rest.toUpper();
    const qsizetype cmgl = HeaderStart(upper);
    const bool ok = upper.contains("OK");
    if (cmgl < 0 && !ok) return ListScan::Incomplete;
    if (cmgl < 0 || (ok && rest.size() < 10)) {
      if (committing) ListingRead(g, listed);
      return ListScan::Complete;
    }

    rest.remove(0, cmgl + 1);
    const qsizetype end = std::max(rest.indexOf('\r'), rest.indexOf('\n'));
    if (end < 0) return ListScan::Incomplete;  // the header line is still coming
    QByteArray header = rest.left(end + 1);
    rest.remove(0, end + 1);
    StripTrailing(header, [](char c) { return IsLineEndByte(c) || c == ' '; });
    const std::int32_t index = RecordOfHeader(header).MemPos;
    if (committing) listed << index;

    if (textMode && IsStatusReportHeader(header)) {
      if (committing) StoreUndecodable(g, header, RawEntry(header, rest), {});
      continue;
    }
    const int length = ListedLength(header);
    const BodyStart start = SkipToBody(rest, textMode, textMode ? length : -1);
    // An empty text has no body line (without a length field no other can be told); any other
    // entry without one is read again.
    const std::optional<QByteArray> lengthField = LengthField(header);
    const bool emptyText =
        textMode && (!lengthField || lengthField->isEmpty() || *lengthField == "0");
    if (start == BodyStart::Missing && !emptyText) {
      if (committing) EntryUnreadable(g, header, "+" + header, {});
      continue;
    }
    qsizetype lineEnd = rest.indexOf('\r');
    if (lineEnd < 0) lineEnd = rest.indexOf('\n');
    ++lineEnd;  // 1-based; 0 when there is none
    if (length == -1 && lineEnd == 0) continue;
    if (textMode && ImpossibleLength(header)) {
      const tSmsRec listedRec = RecordOfHeader(header);
      if (committing)
        EntryUnreadable(g, header, RawEntry(header, rest), {listedRec.TelStr, listedRec.SmsType});
      continue;
    }

    ListedBody body;
    std::optional<Sender> sender;
    if (start == BodyStart::Missing) {
      body.text.clear();  // an empty text: its header has no body line
    } else if (textMode) {
      body = TakeTextModeBody(rest, length, lineEnd);
    } else {
      // Decoding errors are logged once, by the pass that stores.
      LogLineFn log;
      if (committing) log = [&g](const QString& line) { g.Log(true, line); };
      const QByteArray pduLine = TakePduLine(rest);
      if (lineEnd == 0) {
        body.complete = false;  // the PDU's line is still coming
      } else {
        DecodedPdu pdu = DecodePdu(pduLine, header, g.Text(44), log);
        sender = Sender{pdu.address, pdu.addressType};
        if (pdu.undecodable) {
          if (committing)
            EntryUnreadable(g, header, "+" + header + "\r\n" + pduLine.trimmed(), *sender);
          continue;
        }
        header = pdu.header;
        body = ListedBody{pdu.text, pdu.LoID, pdu.LoHi, pdu.LoNo};
      }
    }
    if (!body.complete) {
      // Cut short by a stall: neither stored nor deleted, so the next listing reads it whole.
      if (committing)
        g.Log(true, QStringLiteral("SMS %1 incomplete when the listing stalled, left for the "
                                   "next reading")
                        .arg(QString::number(index)));
      rest.clear();
      continue;
    }
    // A text keeps its blanks: the mail shows it as it was sent, and parts must not join
    // "Hello " and "world" as "Helloworld".
    StripTrailing(body.text, IsLineEndByte);

    if (!committing || header.isEmpty()) continue;
    if (!body.addsUp) link.ListDoubtful = true;
    link.UnreadableCounts.remove(UnreadableKey(link, index));
    StoreMessage(g, header, body, sender);
  }
}

}  // namespace kolvane
