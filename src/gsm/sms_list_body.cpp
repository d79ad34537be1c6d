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

// "050003" + reference + count + number in front of a hex body; the length loses its 6 octets.
bool TakeHexConcatHeader(QByteArray& rest, int& length, ListedBody& body) {
  if (rest.size() <= 10 || !rest.startsWith("050003")) return false;
  body.LoID = HexOctetAt(rest, 6);
  body.LoHi = HexOctetAt(rest, 8);
  body.LoNo = HexOctetAt(rest, 10);
  rest.remove(0, 12);
  length = std::max(0, length - 6);
  return true;
}

// At most `take` characters, ended by the first CR (or LF); without a line end `drop`
// characters leave the rest.
QByteArray TakeHexLine(QByteArray& rest, qsizetype take, qsizetype drop) {
  QByteArray cut = rest.left(take);
  qsizetype end = cut.indexOf('\r');
  if (end < 0) end = cut.indexOf('\n');
  if (end >= 0) {
    cut.truncate(end);
    rest.remove(0, end + 1);
  } else {
    rest.remove(0, std::min(drop, rest.size()));
  }
  return cut;
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
    v &= 0x7F;
    if (v != 0) septets += static_cast<char>(v);
  }
  return septets;
}

ListedBody TakeTextModeBody(QByteArray& rest, int length, qsizetype lineEnd) {
  ListedBody body;
  const qsizetype line = lineEnd - 1;
  const bool valid = length > 0;
  if (valid && line >= 2 * length) {
    // UCS2 as hex, four digits per character.
    TakeHexConcatHeader(rest, length, body);
    body.text = TextOfUcs2Hex(TakeHexLine(rest, 4 * length + 20, 4 * length));
  } else if (valid && line >= 7 * length / 4 && line < 2 * length && line >= 2) {
    // Packed septets as hex. A line of one character cannot hold a whole octet: that is a
    // one-character text.
    const bool header = TakeHexConcatHeader(rest, length, body);
    body.text = UnpackHexSeptets(TakeHexLine(rest, 2 * length + 20, 4 * length), header ? 1 : 0);
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
    body.text = GsmAlphabetToText(QByteArrayView(rest).first(std::min(count, rest.size())));
    rest.remove(0, std::min(count, rest.size()));
  }
  return body;
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
