#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

#include "platform/clock.h"

namespace kolvane {

// One received SMS as listed by the modem.
struct tSmsRec {
  std::int32_t MemPos = -1;
  QByteArray SmsMode;
  bool FiSaved = false;
  bool MenDel = false;
  QByteArray TelStr;
  QByteArray Time;
  std::int32_t SmsType = -1;
  std::int32_t SmsLen = -1;
  QByteArray Text;         // escaped form: bytes < 32, "=" and > 127 as "=XX"
  std::uint16_t LoID = 0;  // 8- or 16-bit reference
  std::uint8_t LoHi = 0;
  std::uint8_t LoNo = 0;
  std::uint8_t LoStat = 0;  // 0 empty, 1 part present, 2 delivered in a joined message
  bool OK = false;
  // Type of the sender's address as listed (text mode with the header fields shown, or the
  // PDU); -1 when the listing did not show it. Only a number type may be trusted for commands.
  std::int32_t TelType = -1;
  // The reader could not make a message of the entry; Text holds the raw entry, escaped.
  bool Undecodable = false;
  // When the gateway first held this part of a concatenated message; an incomplete message
  // is delivered a day after its first part came.
  DateTime Seen = 0;
};

// Type of number 5 in a type-of-address octet: the address is a name, not a number.
constexpr bool IsAlphanumericType(std::int32_t type) {
  return type >= 0 && ((type >> 4) & 0x07) == 5;
}

// The last listing, in list order.
using SmsRecvArray = QList<tSmsRec>;
// Parts of concatenated messages: one group per sender, reference and part count; slot k
// holds part k+1.
using SmsLongArray = QList<QList<tSmsRec>>;

}  // namespace kolvane
