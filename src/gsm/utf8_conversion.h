#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace kolvane {

// The UTF-8 conversions. Input may be malformed or cut short anywhere: every byte that is not
// part of a character, and every character the rule does not list, becomes "-".

// UTF-8 to GSM alphabet: GSM 7-bit bytes, extension characters as escape + code.
QByteArray Utf8ToGsmAlphabet(QByteArrayView utf8);

// UTF-8 transliteration to ASCII: UTF-8 keeping only ASCII and the characters the GSM alphabet
// shows as they are (Æ æ ß €, Greek capitals).
QByteArray Utf8TranslitToAscii(QByteArrayView utf8);

// UTF-8 transliteration to plain ASCII: the same rule, the result holding only ASCII.
QByteArray Utf8TranslitToPlainAscii(QByteArrayView utf8);

// GSM-special test: true when the one UTF-8 character is coded differently in the GSM alphabet
// than in ASCII or is one of its own non-ASCII characters.
bool IsGsmSpecial(QByteArrayView utf8Char);

}  // namespace kolvane
