#pragma once

#include <QByteArray>

class QFile;

namespace kolvane {

class GatewayContext;
class TrafficLogFile;

// Appends a received SMS to the POP3 store (opened with FileOpenAppend): routed to its PCs,
// from the number's mail address to UserName, with the time stamp and the marked part in the
// subject as configured. text is the SMS text in its escaped (quoted-printable) form; an empty
// text gives no record. The POP3 log line and the store lamp follow in every case. False when
// the record could not be written. Without byRouteMark the text's route marks are not read. A
// sender the network marked as a name (senderIsName) comes from a name's address and is never
// routed like a number.
bool AppendReceivedSms(GatewayContext& g, QFile& store, TrafficLogFile& log,
                       const QByteArray& number, const QByteArray& time, const QByteArray& text,
                       bool byRouteMark = true, bool senderIsName = false);

}  // namespace kolvane
