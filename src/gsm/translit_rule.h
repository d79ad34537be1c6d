#pragma once

#include <QByteArray>

namespace kolvane {

// The one transliteration rule behind the UTF-8 conversions, in its three output forms:
// GSM bytes, UTF-8 limited to ASCII and the GSM alphabet's own characters, and plain ASCII.
enum class TranslitForm { Gsm, Text, PlainAscii };

// Appends the form of one character and returns true, or returns false (appending nothing)
// for a character the rule does not list; callers write "-" for it.
bool AppendTransliteration(char32_t ch, TranslitForm form, QByteArray& out);

// True for Æ, æ, ß, € and the Greek letters whose capital the GSM alphabet has.
bool IsGsmOwnNonAscii(char32_t ch);

}  // namespace kolvane
