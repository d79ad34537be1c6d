#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace kolvane {

// Pieces shared by the PDU encoder and decoder.

bool IsHexChar(char c);

// Two upper-case hex digits; values past 255 keep their low octet so a field never widens.
QByteArray HexOctet(int value);

// Swaps each pair of characters ("123" → "214", odd input padded with "F" first when `pad`).
// Characters that are not hex digits become "-" so that they cannot break a header field.
QByteArray SwapSemiOctets(QByteArrayView chars, bool pad);

}  // namespace kolvane
