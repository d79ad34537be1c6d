#pragma once

#include <QByteArray>
#include <QString>

#include "mail/mail_rec.h"

namespace kolvane {

class Gateway;

// A POP3 record as the mail message a client retrieves: From, To, Subject, Date (the time of
// fetching), the content headers, an empty line, the body and the closing CR LF "." (the
// final CR LF is added when the message is sent).
QByteArray RenderMessage(const Gateway& g, const tMailRec& rec);

// Whether a client PC may fetch a record: routing names, aliases and the basket PC. A refusal
// is logged.
bool MayRelease(Gateway& g, const tMailRec& rec, const QString& client);

}  // namespace kolvane
