#pragma once

#include <QByteArray>
#include <QString>

// The GSM 7-bit default alphabet with its extension table, and septet packing.
namespace kolvane::modemsim::gsm7 {

inline constexpr char kEscape = 0x1B;

// Septet codes, one per byte; extension characters as escape + code. Characters the alphabet
// lacks become "?" and clear *ok.
QByteArray fromText(const QString& text, bool* ok = nullptr);
bool canEncode(const QString& text);
QString toText(const QByteArray& septets);

// Septet k occupies bits 7k.. of a little-endian bit stream that starts after fillBits zero bits.
QByteArray pack(const QByteArray& septets, int fillBits = 0);
// Up to count septets (fewer when the octets run out), reading from bit startBit.
QByteArray unpack(const QByteArray& octets, int count, int startBit = 0);

}  // namespace kolvane::modemsim::gsm7
