#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "context/char_replacement.h"
#include "gsm/log_line.h"

namespace kolvane {

// The built-in replacement of a charset's upper half: `in` and `out` pair byte by byte, bytes in
// `escape` get an escape before their replacement. Empty for "utf-8" and unknown names.
struct ReplacementLists {
  QByteArray in;
  QByteArray out;
  QByteArray escape;
};

ReplacementLists BuiltInReplacementLists(QByteArrayView charset);

// The settings that choose the table of a mail's conversion.
struct CharsetChoice {
  bool EmlSmsAuto = true;
  QByteArray EmlSmsChConv;
};

// The mail's own charset when detection is on and it is known, else EmlSmsChConv.
QByteArray ConversionCharset(QByteArrayView mailCharset, const CharsetChoice& choice);

// Rebuilds ChReplTab, ChEscTab, MailSmsInCh and MailSmsOutCh from the charset's built-in lists.
// Lists of unequal length leave the identity and log a line that is always shown.
void SetUpCharsetReplacement(QByteArrayView charset, CharReplacement& repl, const LogLineFn& log);

// Each byte through the replacement in force.
QByteArray ApplyCharReplacement(QByteArrayView bytes, const CharReplacement& repl);

// 8-bit charset to GSM alphabet: chooses the table, sets it up, converts. Bytes of 128 and
// above without a replacement are left for the caller to judge.
QByteArray EightBitCharsetToGsmAlphabet(QByteArrayView mailCharset, QByteArrayView bytes,
                                        const CharsetChoice& choice, CharReplacement& repl,
                                        const LogLineFn& log);

}  // namespace kolvane
