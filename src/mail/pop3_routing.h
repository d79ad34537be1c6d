#pragma once

#include <QByteArray>

namespace kolvane {

class GatewayContext;

// The sender address of a received SMS: InMailAdr with its first "<+>" replaced by the number,
// or the number itself when the pattern has none. A sender's name (alphanumeric sender) keeps
// what may stand in a mail address; every other character becomes "_".
QByteArray PhoneToMailAddr(const GatewayContext& g, const QByteArray& number);
QByteArray MailLocalPart(const QByteArray& name);

// The PCs a received SMS is for (comma-separated, empty = anyone): the names between the first
// two route marks when the first mark is among the first three characters, then the PCs whose
// mail went to this number and whose automatic routing is still in force. Without byRouteMark
// only the automatic routing counts.
QByteArray RouteNames(const GatewayContext& g, const QByteArray& number, const QByteArray& text,
                      bool byRouteMark = true);

// The text between the body markers, transliterated to plain ASCII and quoted-printable; empty
// unless both markers are set and found.
QByteArray SubjectMark(const GatewayContext& g, const QByteArray& text);

}  // namespace kolvane
