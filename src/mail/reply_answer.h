#pragma once

#include <QByteArray>
#include <QString>

namespace kolvane {

// Whether a subject is a reply's: "Re:", "AW:", "Odp:" or "SV:" in any case, also counted
// ("Re[2]:"); a forward's is not.
bool IsReplySubject(const QString& subject);

// What the person wrote in a reply: quoted lines (">") and the attribution just above a quoted
// block go wherever they stand, so top- and bottom-posting both work; an Outlook header block
// ("-----Original Message-----", or "From:" followed by "Sent:" or "Date:") and a signature
// ("-- ") end the text; blank lines left by them go. `read` is the text as its charset reads
// it, line for line; the text's own bytes are kept, lines ended by CR LF. When nothing would
// remain, the text is given back whole.
QByteArray ReplyAnswer(const QByteArray& text, const QString& read);

}  // namespace kolvane
