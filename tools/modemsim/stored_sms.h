#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kolvane::modemsim {

using Tick = std::uint32_t;

enum class Storage { SM, ME };
enum class Coding { Auto, Gsm7, Data8, Ucs2 };
// Numbered as the PDU-mode status of the listing commands.
enum class SmsStatus { RecUnread = 0, RecRead = 1, StoUnsent = 2, StoSent = 3 };

// One received message held in a storage, as the network delivered it.
struct StoredSms {
  SmsStatus status = SmsStatus::RecUnread;
  QString sender;  // "+" and digits, digits, or an alphanumeric name
  QDateTime timeStamp;
  Coding coding = Coding::Gsm7;  // never Auto
  QByteArray header;             // user-data header without its length octet; empty = none
  QByteArray data;               // Gsm7: septet codes, one per byte; Data8: octets; Ucs2: UTF-16BE
  bool alphanumericSender = false;  // a name, even one spelled with digits only
  QByteArray rawEntry;  // listed as it is after "+CMGL: INDEX,"; the fields above go unused
};

// Concatenation information element of a header, if it has one (8- or 16-bit reference).
struct ConcatInfo {
  int reference = 0;
  int count = 0;
  int part = 0;
};
bool concatInfo(const QByteArray& header, ConcatInfo* info);

}  // namespace kolvane::modemsim
