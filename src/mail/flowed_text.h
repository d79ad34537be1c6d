#pragma once

#include <QByteArray>
#include <QList>

namespace kolvane {

// The lines of a text, without their ends (LF or CR LF).
QList<QByteArray> TextLines(const QByteArray& text);

// A format=flowed text with its soft line breaks joined: a line ending in a space goes on in
// the next line of the same quote depth (its space dropped with delSp); quote marks and the
// space-stuffing of the continuation lines go, the signature line "-- " stays a line. Lines
// end with CR LF.
QByteArray JoinFlowedLines(const QByteArray& text, bool delSp);

}  // namespace kolvane
