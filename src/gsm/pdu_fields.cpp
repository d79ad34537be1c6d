#include "gsm/pdu_fields.h"

#include "gsm/pdu_codec.h"

namespace kolvane {

bool IsHexChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

QByteArray HexOctet(int value) {
  constexpr char kHex[] = "0123456789ABCDEF";
  QByteArray out(2, '0');
  out[0] = kHex[(value >> 4) & 0xF];
  out[1] = kHex[value & 0xF];
  return out;
}

QByteArray SwapSemiOctets(QByteArrayView chars, bool pad) {
  QByteArray in = chars.toByteArray();
  if (pad && in.size() % 2 != 0) in += 'F';
  for (char& c : in)
    if (!IsHexChar(c)) c = '-';
  for (qsizetype i = 0; i + 1 < in.size(); i += 2) std::swap(in[i], in[i + 1]);
  return in;
}

std::uint8_t HexByte(QByteArrayView twoChars, bool& error) {
  if (twoChars.size() < 2) {
    error = true;
    return 0;
  }
  int value = 0;
  for (qsizetype k = 0; k < 2; ++k) {
    const char c = twoChars[k];
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
      error = true;
    } else {
      error = true;
    }
    value = value * 16 + digit;
  }
  return static_cast<std::uint8_t>(value);
}

QByteArray ScTimeStamp(QByteArrayView chars) {
  if (chars.size() < 12) return {};
  const QByteArray d = SwapSemiOctets(chars.first(12), false);
  return d.mid(0, 2) + '/' + d.mid(2, 2) + '/' + d.mid(4, 2) + ',' + d.mid(6, 2) + ':' +
         d.mid(8, 2) + ':' + d.mid(10, 2);
}

}  // namespace kolvane
