#pragma once

#include <QByteArray>
#include <QString>

#include "mail/mail_rec.h"

namespace kolvane {

class Gateway;

// A job made on this PC, as if mailed from it: "localhost", "<Kolvane>", the number in the
// pseudo recipient address, the text as the body.
tMailRec LocalSmsJob(const QByteArray& telNo, const QByteArray& subject, const QString& text);

// The send-SMS dialog's Send: appends the job to the mail store with its next PosID and marks
// the store as holding mail. False when the store cannot be opened.
bool SendTypedSms(Gateway& g, const QString& telNo, const QString& text);

}  // namespace kolvane
