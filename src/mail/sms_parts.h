#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "settings/settings.h"

namespace kolvane {

// How the network counts a text: UTF-16 code units of a UCS-2 SMS (70 in one SMS, 67 in a
// part of a concatenated one), or bytes of the GSM alphabet form of its transliteration (160
// and 153).
enum class SmsCoding { Gsm, Ucs2 };

// The SMS that carry one text whole, or the reason the settings cannot.
struct SmsSplit {
  QStringList parts;          // the text of each SMS in order; empty when refused
  bool concatenated = false;  // the parts are those of one concatenated SMS
  bool shortened = false;     // CutELong: only the first CutEMax parts are sent
  int refusedOver = 0;        // > 0: refused, the text is longer than this many characters
};

// A text longer than one SMS becomes a concatenated SMS when ConcatenateSMS is on, else
// separate SMS when CutEMail is on, else it is refused; it never loses its end unnoticed. More
// than CutEMax parts are cut to CutEMax with CutELong (shortened), else refused.
SmsSplit SplitSmsText(const QString& text, SmsCoding coding, const Settings& cfg);

// The coding a text this PC sends itself goes out in: UCS-2 in text mode when the GSM
// alphabet cannot keep it (the job reader decides the same).
SmsCoding LocalSmsCoding(const QString& text, const Settings& cfg);

// The header a part of a concatenated SMS carries in its job: 05 00 03, reference, part count,
// part number, 0.
QByteArray ConcatHeader(std::uint8_t ref, qsizetype total, qsizetype number);

// Steps the run's concatenation reference on (1 to 250) and returns it.
std::uint8_t NextConcatRef(std::uint8_t& ref);

}  // namespace kolvane
