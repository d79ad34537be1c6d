#include "gsm/ucs2.h"

#include <optional>

namespace kolvane {

namespace {

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return std::nullopt;
}

void AppendUnitHex(char16_t unit, QByteArray& out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

}  // namespace

QByteArray Ucs2HexOfText(QStringView text) {
  QByteArray out;
  out.reserve(text.size() * 4);
  for (QChar c : text) AppendUnitHex(c.unicode(), out);
  return out;
}

QByteArray Ucs2HexOfNumber(QByteArrayView number) {
  QByteArray out;
  out.reserve(number.size() * 4);
  for (char c : number) AppendUnitHex(static_cast<std::uint8_t>(c), out);
  return out;
}

QByteArray Utf16UnitsToUtf8(QStringView units) {
  QString fixed;
  fixed.reserve(units.size());
  for (qsizetype i = 0; i < units.size(); ++i) {
    const QChar c = units[i];
    if (c.isHighSurrogate() && i + 1 < units.size() && units[i + 1].isLowSurrogate()) {
      fixed += c;
      fixed += units[++i];
    } else {
      fixed += c.isSurrogate() ? QChar(QChar::ReplacementCharacter) : c;
    }
  }
  return fixed.toUtf8();
}

QByteArray TextOfUcs2Hex(QByteArrayView hex) {
  QString units;
  int unit = 0;
  int digits = 0;
  for (char c : hex) {
    const auto d = HexDigit(c);
    if (!d) {
      digits = 0, unit = 0;
      continue;
    }
    unit = (unit << 4) | *d;
    if (++digits == 4) {
      units += QChar(static_cast<char16_t>(unit));
      digits = 0, unit = 0;
    }
  }
  return Utf16UnitsToUtf8(units);
}

QByteArray StrictTextOfUcs2Hex(QByteArrayView hex) {
  if (hex.size() % 4 != 0) return {};
  QString units;
  units.reserve(hex.size() / 4);
  for (qsizetype i = 0; i < hex.size(); i += 4) {
    int unit = 0;
    for (qsizetype k = 0; k < 4; ++k) {
      const auto d = HexDigit(hex[i + k]);
      if (!d) return {};
      unit = (unit << 4) | *d;
    }
    units += QChar(static_cast<char16_t>(unit));
  }
  return Utf16UnitsToUtf8(units);
}

QByteArray Ucs2Bytes(QStringView text) {
  QByteArray out;
  out.reserve(text.size() * 2);
  for (QChar c : text) {
    out += static_cast<char>(c.unicode() >> 8);
    out += static_cast<char>(c.unicode() & 0xFF);
  }
  return out;
}

QString TextOfUcs2Bytes(QByteArrayView bytes) {
  QString out;
  out.reserve(bytes.size() / 2);
  for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
    out += QChar(static_cast<char16_t>((static_cast<std::uint8_t>(bytes[i]) << 8) |
                                       static_cast<std::uint8_t>(bytes[i + 1])));
  return out;
}

}  // namespace kolvane
