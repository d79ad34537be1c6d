#pragma once

#include <QByteArray>
#include <cstdint>

namespace kolvane {

// The body of one listed message and the concatenation found with it.
struct ListedBody {
  QByteArray text;  // UTF-8
  std::uint16_t LoID = 0;
  std::uint8_t LoHi = 0;
  std::uint8_t LoNo = 0;
  // False when the received bytes end inside the body: a listing cut short by a stall.
  bool complete = true;
};

// Text mode: takes the body that follows a "+CMGL" header off the front of `rest`.
// `length` is the header's length field (-1 when missing or out of range), `lineEnd` the
// 1-based position of the first line end in `rest` (0 when there is none). A body never runs
// over a line that starts the next entry or the final result, unless the length ends it
// exactly before such a line.
ListedBody TakeTextModeBody(QByteArray& rest, int length, qsizetype lineEnd);

// The first line of `rest` up to its line end, without running into the next entry.
QByteArray FirstBodyLine(const QByteArray& rest);

// PDU mode: the hex line up to and including its line end (the whole rest without one).
QByteArray TakePduLine(QByteArray& rest);

// Packed septets given as hex: each pair of hex digits an octet, other characters skipped;
// septets from `firstBit` on ("@" is septet 0, so none is dropped).
QByteArray UnpackHexSeptets(QByteArrayView hex, int firstBit);

}  // namespace kolvane
