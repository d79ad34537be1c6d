#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace kolvane {

// UCS2 hex of text: four upper-case hex digits per UTF-16 code unit.
QByteArray Ucs2HexOfText(QStringView text);

// UCS2 hex of number: each byte widened to one code unit.
QByteArray Ucs2HexOfNumber(QByteArrayView number);

// Text of UCS2 hex: every hex digit counts, any other character is skipped and restarts the
// group of four; complete groups give code units, returned as UTF-8.
QByteArray TextOfUcs2Hex(QByteArrayView hex);

// Strict text of UCS2 hex: only an input of whole groups of four hex digits is decoded;
// anything else gives an empty result.
QByteArray StrictTextOfUcs2Hex(QByteArrayView hex);

// UCS2 bytes: each code unit as two bytes, high byte first.
QByteArray Ucs2Bytes(QStringView text);

// Text of UCS2 bytes: the reverse; an odd last byte is ignored.
QString TextOfUcs2Bytes(QByteArrayView bytes);

// UTF-8 of UTF-16 code units where surrogate pairs form one character and a lone surrogate
// becomes U+FFFD.
QByteArray Utf16UnitsToUtf8(QStringView units);

// The first n UTF-16 code units of text, one less when the cut would part a surrogate pair.
inline QString Ucs2Left(const QString& text, qsizetype n) {
  if (n <= 0) return {};
  if (n < text.size() && text[n - 1].isHighSurrogate()) --n;
  return text.left(n);
}

}  // namespace kolvane
