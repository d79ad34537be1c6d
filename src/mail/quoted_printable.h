#pragma once

#include <QByteArray>

namespace kolvane {

// The quoted-printable form of stored bodies: bytes below 32, "=" and bytes of 128 or more as
// "=" + two upper-case hex digits; no line breaks.
QByteArray QpEncode(const QByteArray& bytes);
// A quoted-printable body as the store keeps it exactly: the store trims blanks from a body's
// ends and puts a space before a leading dot, so those are written as escapes.
QByteArray QpKeepEdges(QByteArray body);
// Upper-case hex escapes only; any other "=" sequence is dropped with the two bytes after it.
QByteArray QpDecode(const QByteArray& bytes);

// A stored body as one readable log line.
QByteArray LogText(const QByteArray& body);
// The same for a body already decoded.
QByteArray LogTextOfRaw(const QByteArray& raw);

}  // namespace kolvane
