#pragma once

#include <QByteArray>
#include <QString>

#include "platform/clock.h"

namespace kolvane {

class GatewayContext;
struct GatewayState;

// Answers from the number go to the PC until endTime. A new number's entry drops those whose
// time is over, and no more than kMaxAutoRoutes are kept: the one that ends first makes room.
inline constexpr qsizetype kMaxAutoRoutes = 1000;
void NoteAutoRoute(GatewayState& gs, const QByteArray& telNo, const QByteArray& pc,
                   DateTime endTime, DateTime now);

// The sender address of a received SMS: InMailAdr with its first "<+>" replaced by the number,
// or the number itself when the pattern has none. A sender's name (alphanumeric sender) keeps
// what may stand in a mail address; every other character becomes "_".
QByteArray PhoneToMailAddr(const GatewayContext& g, const QByteArray& number);
QByteArray MailLocalPart(const QByteArray& name);
// The sender address of a name (an alphanumeric sender): InMailAdr with "name." and the name in
// place of "<+>", its digits never two in a row nor after a "+", so that no job reader takes it
// for a telephone number.
QByteArray NameToMailAddr(const GatewayContext& g, const QByteArray& name);
// A recipient address NameToMailAddr made: mail to it reaches nobody.
bool IsNameMailAddr(const GatewayContext& g, const QByteArray& address);
// The sender address and the subject of a received SMS from a number or, isName, a name.
QByteArray SenderMailAddr(const GatewayContext& g, const QByteArray& sender, bool isName);
QByteArray SenderSubject(const QByteArray& sender, bool isName);

// A PC by that name exists (without regard to case): a client of the SMTP or POP3 server, a mail
// account, a PC of the alias table or, with aliases on, one of its aliases, or the basket PC.
bool IsKnownPc(const GatewayContext& g, const QString& name);
// The names of a comma-separated list that are known PCs.
QByteArray KnownPcNames(const GatewayContext& g, const QByteArray& names);

// The PCs a received SMS is for (comma-separated, empty = anyone): the known PCs among the names
// between the first two route marks when the first mark is among the first three characters (a
// text that only looks so, "#1 priority: ...#", is for anyone), then the PCs whose mail went to
// this number and whose automatic routing is still in force. Without byRouteMark only the
// automatic routing counts.
QByteArray RouteNames(const GatewayContext& g, const QByteArray& number, const QByteArray& text,
                      bool byRouteMark = true);

// The text between the body markers, transliterated to plain ASCII and quoted-printable; empty
// unless both markers are set and found.
QByteArray SubjectMark(const GatewayContext& g, const QByteArray& text);

}  // namespace kolvane
