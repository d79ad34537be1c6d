#pragma once

#include <QString>

#include "gsm/at_engine.h"

namespace kolvane {

class Language;

// A modem's final result in words, in the language in force: "+CME ERROR: 16 (incorrect PIN)",
// "+CMS ERROR: 21 (the network rejected the SMS)". A code the catalogue has no words for reads
// as the modem said it ("+CME ERROR: 99", "+CMS ERROR: unknown", "ERROR", "OK").
QString ModemErrorText(const Language& language, const at::FinalResult& result);

// The catalogue number of the words of an error code (200 to 299); 0 when it has none.
int ModemErrorNumber(const at::FinalResult& result);

// The message-service code a verbose answer's words name ("+CMS ERROR: Network out of order"
// of a modem set to AT+CMEE=2 → 38), read back from the table's English words, case, blanks,
// dashes and a trailing "unspecified" or "error" aside; -1 for words it does not know.
int MessageErrorCodeOfWords(QByteArrayView words);

}  // namespace kolvane
