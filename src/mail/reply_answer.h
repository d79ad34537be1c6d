#pragma once

#include <QByteArray>
#include <QString>

namespace kolvane {

// Whether a mail is a reply: its subject begins "Re:", "AW:", "Odp:" or "SV:" in any case (also
// counted, "Re[2]:"), or it names the mail it answers (In-Reply-To, References). A forward
// ("Fwd:", "Fw:", "WG:", "TR:", "PD:") is none: what it forwards is the message.
bool IsReply(const QString& subject, bool answersAMail);

// What the person wrote in a reply: quoted lines (">") and the attribution just above a quoted
// block go wherever they stand, so top- and bottom-posting both work; an Outlook header block
// ("-----Original Message-----", or "From:" followed by "Sent:" or "Date:") and a signature
// ("-- ") end the text; blank lines left by them go. `read` is the text as its charset reads
// it, line for line; the text's own bytes are kept, lines ended by CR LF. When nothing would
// remain, the text is given back whole.
QByteArray ReplyAnswer(const QByteArray& text, const QString& read);

}  // namespace kolvane
