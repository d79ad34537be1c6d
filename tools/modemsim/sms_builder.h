#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

#include "modemsim/stored_sms.h"

namespace kolvane::modemsim {

// A message to hand to the modem as if the network had delivered it.
struct Injection {
  QString sender;
  QString text;
  Coding coding = Coding::Auto;  // Auto: GSM 7-bit when the alphabet holds the text, else UCS2
  bool concat = false;           // concatenated even when one message would hold the text
  QStringList parts;             // exact part texts of a concatenated message; text is ignored
  Storage storage = Storage::SM;
  QDateTime time;      // invalid: the simulator's wall clock
  int reference = -1;  // concatenation reference (16-bit above 255); -1: the modem's next one
  bool alphanumericSender = false;  // the sender is a name, even one spelled with digits only
  QByteArray rawEntry;  // a listing entry as it is after "+CMGL: INDEX," (broken entries)
  int age = 0;          // seconds the network's time stamp lies before the time above
};

// Payload limits in septets (GSM 7-bit) or octets: one message, and one part of a concatenation.
inline constexpr int kSingleSeptets = 160;
inline constexpr int kSingleOctets = 140;
inline constexpr int kPartSeptets = 153;
inline constexpr int kPartOctets = 134;

Coding chooseCoding(const Injection& injection);
// The stored messages the injection becomes: one, or the parts of a concatenated message each
// with the header 00 03 reference count number. Explicit parts longer than a part are cut.
std::vector<StoredSms> buildMessages(const Injection& injection, int reference,
                                     const QDateTime& time);

}  // namespace kolvane::modemsim
