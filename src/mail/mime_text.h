#pragma once

#include <QByteArray>
#include <QString>

namespace kolvane {

// Text as valid UTF-8: bytes that are not UTF-8 are read as Latin-1, so nothing is lost.
QByteArray AsValidUtf8(const QByteArray& bytes);

// A body in quoted-printable lines of at most 76 characters, each line of the text ended by
// CR LF (LF, CR LF and a lone CR all end a line).
QByteArray QpBodyLines(const QByteArray& text);

// A header value as it may travel: ASCII stays, anything else becomes UTF-8 encoded words
// folded onto continuation lines. Bytes that are not UTF-8 are read in the 8-bit charset
// chosen in the settings (eightBit), else in windows-1252.
QByteArray EncodedWordsHeader(const QByteArray& value, QByteArrayView eightBit = {});

// A header value with its encoded words ("=?charset?B|Q?...?=") decoded; blanks between two
// encoded words go with them. Bytes invalid in their charset are read as EncodedWordsHeader
// reads them.
QString DecodeEncodedWords(const QByteArray& value, QByteArrayView eightBit = {});

}  // namespace kolvane
