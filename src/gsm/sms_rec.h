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
  QByteArray Text;  // escaped form: bytes < 32, "=" and > 127 as "=XX"
  std::uint8_t LoID = 0;
  std::uint8_t LoHi = 0;
  std::uint8_t LoNo = 0;
  std::uint8_t LoStat = 0;  // 0 empty, 1 part present, 2 delivered in a joined message
  bool OK = false;
  // When the gateway first held this part of a concatenated message; an incomplete message
  // is delivered a day after its first part came.
  DateTime Seen = 0;
};

// The last listing, in list order.
using SmsRecvArray = QList<tSmsRec>;
// Parts of concatenated messages: one group per reference, slot k holds part k+1.
using SmsLongArray = QList<QList<tSmsRec>>;

}  // namespace kolvane
