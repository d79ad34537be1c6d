#include "gsm/sms_list_body.h"

#include <algorithm>

#include "gsm/gsm_alphabet.h"
#include "gsm/ucs2.h"

namespace kolvane {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::uint8_t HexOctetAt(const QByteArray& s, qsizetype pos) {
  bool ok = false;
  const unsigned v = s.mid(pos, 2).toUInt(&ok, 16);
  return ok ? static_cast<std::uint8_t>(v) : 0;
}

enum class HexHeader { None, Ref8, Ref16 };

// A concatenation header in front of a hex body: "050003" + reference + count + number, or
// "060804" + a 16-bit reference + count + number; the length loses the header's octets.
HexHeader TakeHexConcatHeader(QByteArray& rest, int& length, ListedBody& body) {
  if (rest.size() > 10 && rest.startsWith("050003")) {
    body.LoID = HexOctetAt(rest, 6);
    body.LoHi = HexOctetAt(rest, 8);
    body.LoNo = HexOctetAt(rest, 10);
    rest.remove(0, 12);
    length = std::max(0, length - 6);
    return HexHeader::Ref8;
  }
  if (rest.size() > 12 && rest.startsWith("060804")) {
    body.LoID = static_cast<std::uint16_t>(HexOctetAt(rest, 6) << 8 | HexOctetAt(rest, 8));
    body.LoHi = HexOctetAt(rest, 10);
    body.LoNo = HexOctetAt(rest, 12);
    rest.remove(0, 14);
    length = std::max(0, length - 7);
    return HexHeader::Ref16;
  }
  return HexHeader::None;
}

// At most `take` characters, ended by the first CR (or LF); without a line end `drop`
// characters leave the rest, and when the bytes end first the line is incomplete.
QByteArray TakeHexLine(QByteArray& rest, qsizetype take, qsizetype drop, bool& complete) {
  QByteArray cut = rest.left(take);
  qsizetype end = cut.indexOf('\r');
  if (end < 0) end = cut.indexOf('\n');
  if (end >= 0) {
    cut.truncate(end);
    rest.remove(0, end + 1);
  } else {
    complete = rest.size() > take;
    rest.remove(0, std::min(drop, rest.size()));
  }
  return cut;
}

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// A line that begins the next entry, or the final result of the list command.
bool EndsBodies(QByteArrayView line) {
  return line.startsWith("+CMGL:") || line == "OK" || line == "ERROR" ||
         line.startsWith("+CMS ERROR") || line.startsWith("+CME ERROR");
}

QByteArrayView LineAt(const QByteArray& rest, qsizetype start) {
  qsizetype end = start;
  while (end < rest.size() && !IsLineEnd(rest[end])) ++end;
  return QByteArrayView(rest).sliced(start, end - start);
}

// Where the body must end at the latest: before the line breaks that lead to the next entry or
// the final result; -1 when neither follows.
qsizetype NextEntryAt(const QByteArray& rest) {
  for (qsizetype i = 0; i < rest.size(); ++i) {
    if (i > 0 && !IsLineEnd(rest[i - 1])) continue;
    if (IsLineEnd(rest[i]) || !EndsBodies(LineAt(rest, i))) continue;
    qsizetype end = i;
    while (end > 0 && IsLineEnd(rest[end - 1])) --end;
    return end;
  }
  return -1;
}

// A body of `count` bytes ends where it should: line breaks, then the next entry, the final
// result or the end of what was received.
bool EndsCleanly(const QByteArray& rest, qsizetype count) {
  if (count >= rest.size() || !IsLineEnd(rest[count])) return false;
  qsizetype next = count;
  while (next < rest.size() && IsLineEnd(rest[next])) ++next;
  return next == rest.size() || EndsBodies(LineAt(rest, next));
}

}  // namespace

QByteArray UnpackHexSeptets(QByteArrayView hex, int firstBit) {
  QByteArray octets;
  int high = -1;
  for (char c : hex) {
    const int v = HexValue(c);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      octets += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  QByteArray septets;
  const qsizetype bits = octets.size() * 8;
  for (qsizetype bit = firstBit; bit + 7 <= bits; bit += 7) {
    unsigned v = static_cast<unsigned char>(octets[bit / 8]) >> (bit % 8);
    if (bit % 8 > 1)
      v |= static_cast<unsigned>(static_cast<unsigned char>(octets[bit / 8 + 1])) << (8 - bit % 8);
    septets += static_cast<char>(v & 0x7F);
  }
  return septets;
}

ListedBody TakeTextModeBody(QByteArray& rest, int length, qsizetype lineEnd) {
  ListedBody body;
  const qsizetype line = lineEnd - 1;
  const bool valid = length > 0;
  if (lineEnd == 0) {
    // The received bytes end before the body's line does: a modem ends every body with one.
    body.complete = false;
  } else if (valid && line >= 2 * length) {
    // UCS2 as hex, four digits per character.
    TakeHexConcatHeader(rest, length, body);
    body.text = TextOfUcs2Hex(TakeHexLine(rest, 4 * length + 20, 4 * length, body.complete));
  } else if (valid && line >= 7 * length / 4 && line < 2 * length && line >= 2) {
    // Packed septets as hex. A line of one character cannot hold a whole octet: that is a
    // one-character text. After an 8-bit reference header one fill bit follows; a 16-bit one
    // fills whole septets.
    const int septets = length;
    const HexHeader header = TakeHexConcatHeader(rest, length, body);
    const QByteArray text =
        UnpackHexSeptets(TakeHexLine(rest, 2 * length + 20, 4 * length, body.complete),
                         header == HexHeader::Ref8 ? 1 : 0);
    // The length counts the header's septets too; septets past it are fill, not "@".
    const int headerSeptets = header == HexHeader::Ref8 ? 7 : header == HexHeader::Ref16 ? 8 : 0;
    body.text = GsmAlphabetToText(text.left(std::max(0, septets - headerSeptets)));
  } else {
    qsizetype count = valid ? length : lineEnd;
    // Septet form of the concatenation header, as the modem's GSM character set shows it.
    if (rest.size() > 6 && rest[0] == 5 && rest[1] == 0) {
      body.LoID = static_cast<std::uint8_t>(rest[3]);
      body.LoHi = static_cast<std::uint8_t>(rest[4]) >> 4;
      body.LoNo = static_cast<std::uint8_t>(rest[5]) >> 5;
      rest.remove(0, 7);
      count = std::max<qsizetype>(0, count - 7);
    }
    if (valid && !EndsCleanly(rest, count)) {
      const qsizetype next = NextEntryAt(rest);
      if (next >= 0 && next < count) {
        count = next;  // the length promised more than came before the next entry
      } else if (count >= rest.size()) {
        body.complete = false;  // the bytes end inside the body
        return body;
      }
    }
    body.text = GsmAlphabetToText(QByteArrayView(rest).first(std::min(count, rest.size())));
    rest.remove(0, std::min(count, rest.size()));
  }
  return body;
}

QByteArray FirstBodyLine(const QByteArray& rest) {
  const qsizetype next = NextEntryAt(rest);
  const QByteArray upTo = next < 0 ? rest : rest.left(next);
  return LineAt(upTo, 0).toByteArray();
}

QByteArray TakePduLine(QByteArray& rest) {
  qsizetype end = rest.indexOf('\r');
  if (end < 0) end = rest.indexOf('\n');
  const qsizetype take = end < 0 ? rest.size() : end + 1;
  QByteArray line = rest.left(take);
  rest.remove(0, take);
  return line;
}

}  // namespace kolvane
