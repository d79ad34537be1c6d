#include "gsm/sms_list_scan.h"

#include <algorithm>
#include <array>

#include "core/gateway.h"
#include "gsm/pdu_codec.h"
#include "gsm/sms_groups.h"
#include "gsm/sms_list_body.h"

namespace kolvane {

namespace {

bool IsLineEndByte(char c) {
  return c == '\r' || c == '\n';
}

void StripTrailing(QByteArray& s, bool (*strip)(char)) {
  while (!s.isEmpty() && strip(s.back())) s.chop(1);
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

QByteArray Trimmed(QByteArray s) {
  StripTrailing(s, IsBlankOrControl);
  const auto first = std::find_if_not(s.begin(), s.end(), IsBlankOrControl);
  s.remove(0, first - s.begin());
  return s;
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

void StoreMessage(Gateway& g, const QByteArray& header, const ListedBody& body) {
  LinkState& link = g.link();
  const std::array<QByteArray, 10> f = HeaderFields(header.mid(6));
  tSmsRec rec;
  rec.MemPos = NumberOr(f[0], -1);
  rec.SmsMode = f[1];
  rec.TelStr = f[2];
  rec.Time = f[4];
  rec.SmsType = NumberOr(f[5], -1);
  rec.SmsLen = NumberOr(f[6], -1);
  if (body.text.isEmpty()) {
    // An empty message is still listed so that it is deleted.
    if (rec.SmsLen == 0) link.SmsRecvArr.append(rec);
    return;
  }
  rec.Text = EscapeSmsText(body.text);
  rec.LoID = body.LoID;
  rec.LoHi = body.LoHi;
  rec.LoNo = body.LoNo;
  rec.LoStat = 1;
  // Without a sender there is nobody to deliver to; the message stays in the device.
  if (rec.TelStr.isEmpty()) return;
  link.SmsRecvArr.append(rec);
  PutPartInGroup(link.SmsLongArr, rec);
}

}  // namespace

int ListedLength(QByteArrayView header) {
  qsizetype i = 0;
  for (int commas = 0; commas < 6; ++i) {
    if (i >= header.size()) return -1;
    if (header[i] == '"') {
      i = header.indexOf('"', i + 1);
      if (i < 0) return -1;
    } else if (header[i] == ',') {
      ++commas;
    }
  }
  qsizetype end = header.indexOf(',', i);
  if (end < 0) end = header.size();
  bool ok = false;
  const int length = header.sliced(i, end - i).toByteArray().trimmed().toInt(&ok);
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

ListScan ScanSmsList(Gateway& g, const QByteArray& answer, bool committing) {
  const bool textMode = g.state().cfg.PDUText;
  QByteArray rest = answer;
  for (;;) {
    const QByteArray upper = rest.toUpper();
    const qsizetype cmgl = upper.indexOf("+CMGL");
    const bool ok = upper.contains("OK");
    if (cmgl < 0 && !ok) return ListScan::Incomplete;
    if (cmgl < 0 || (ok && rest.size() < 10)) return ListScan::Complete;

    rest.remove(0, cmgl + 1);
    const qsizetype end = std::max(rest.indexOf('\r'), rest.indexOf('\n'));
    if (end < 0) return ListScan::Incomplete;  // the header line is still coming
    QByteArray header = rest.left(end + 1);
    rest.remove(0, end + 1);
    StripTrailing(header, [](char c) { return IsLineEndByte(c) || c == ' '; });

    const int length = ListedLength(header);
    qsizetype lineEnd = rest.indexOf('\r');
    if (lineEnd < 0) lineEnd = rest.indexOf('\n');
    ++lineEnd;  // 1-based; 0 when there is none
    if (length == -1 && lineEnd == 0) continue;

    ListedBody body;
    if (textMode) {
      body = TakeTextModeBody(rest, length, lineEnd);
    } else {
      // Decoding errors are logged once, by the pass that stores.
      LogLineFn log;
      if (committing) log = [&g](const QString& line) { g.Log(true, line); };
      DecodedPdu pdu = DecodePdu(TakePduLine(rest), header, g.Text(44), log);
      header = pdu.header;
      body = ListedBody{pdu.text, pdu.LoID, pdu.LoHi, pdu.LoNo};
    }
    // Parts keep their blanks: "Hello " + "world" must not join as "Helloworld".
    if (body.LoHi >= 2)
      StripTrailing(body.text, IsLineEndByte);
    else
      body.text = Trimmed(body.text);

    if (!committing || header.isEmpty()) continue;
    StoreMessage(g, header, body);
  }
}

}  // namespace kolvane
