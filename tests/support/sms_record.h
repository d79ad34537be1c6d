#pragma once

#include <QByteArray>

#include "mail/mail_rec.h"

// A received SMS as the POP3 store holds it, for the PC namePC (empty: for anyone).
inline kolvane::tMailRec SmsRecord(const QByteArray& id, const QByteArray& namePC,
                                   const QByteArray& body) {
  kolvane::tMailRec r;
  r.PosID = id;
  r.NamePC = namePC;
  r.From = "<+420777111222@sms.example>";
  r.Toe = "<kolvane>";
  r.Subj = "SMS from phone No.: +420777111222";
  r.MimeBody = body;
  return r;
}
