#pragma once

#include <QByteArray>
#include <QString>

#include "mail/store_append.h"

namespace kolvane {

class Gateway;

// A text this PC sends itself, as if mailed from it ("localhost", the number in the pseudo
// recipient address): from the command line, the send dialog, the file drop, or a command's
// result.
struct LocalSms {
  QByteArray telNo;
  QByteArray subject;
  QString text;
  QByteArray from = QByteArrayLiteral("<Kolvane>");
};

struct LocalSmsResult {
  enum Outcome { Stored, Refused, Held, Failed };
  Outcome outcome = Failed;
  QString reason;  // Refused: why the settings cannot carry the text whole
};

// Appends the jobs that carry the text whole (one SMS, or its parts) to the mail store in one
// write and marks the store as holding mail. A text the settings cannot carry whole writes
// nothing (Refused); a store that cannot be opened gives Failed. A held store queues the jobs,
// or, for a caller that keeps the text itself (QueueWhenHeld::No), gives Held.
LocalSmsResult StoreLocalSms(Gateway& g, const LocalSms& sms,
                             QueueWhenHeld queue = QueueWhenHeld::Yes);

// A refused text goes back as "Undispatched SMS", naming the reason, into the POP3 store for
// this PC, and is logged.
void ReportRefusedLocalSms(Gateway& g, const LocalSms& sms, const QString& reason);

// StoreLocalSms, with a refused text reported; false only when the text is in no store.
bool StoreOrReportLocalSms(Gateway& g, const LocalSms& sms);

}  // namespace kolvane
