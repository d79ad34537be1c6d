#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Hexadecimal and UTF-16 big-endian forms used by the PDU and the UCS2 character set.
namespace kolvane::modemsim {

// Only an even number of hex digits (either case) is accepted.
std::optional<QByteArray> octetsOfHex(const QByteArray& hex);
QByteArray utf16BeOf(const QString& text);
// An odd last octet is ignored.
QString textOfUtf16Be(const QByteArray& octets);

}  // namespace kolvane::modemsim
