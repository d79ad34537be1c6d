#include "mail/sms_parts.h"

#include <algorithm>

#include "gsm/utf8_conversion.h"

namespace kolvane {

namespace {

constexpr int kGsmSingle = 160;
constexpr int kGsmPart = 153;
constexpr int kUcs2Single = 70;
constexpr int kUcs2Part = 67;
constexpr std::uint8_t kConcatRefMax = 250;

// One character of the text and what it counts in an SMS; a cut never parts a surrogate pair
// or an escape from its code.
struct Counted {
  qsizetype at;
  int weight;
};

QList<Counted> countedCharacters(const QString& text, SmsCoding coding) {
  QList<Counted> chars;
  for (qsizetype i = 0; i < text.size();) {
    const bool pair =
        text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
    const qsizetype len = pair ? 2 : 1;
    const int weight =
        coding == SmsCoding::Ucs2
            ? static_cast<int>(len)
            : static_cast<int>(
                  Utf8ToGsmAlphabet(Utf8TranslitToAscii(text.mid(i, len).toUtf8())).size());
    chars.append({i, weight});
    i += len;
  }
  return chars;
}

}  // namespace

SmsSplit SplitSmsText(const QString& text, SmsCoding coding, const Settings& cfg) {
  const bool ucs2 = coding == SmsCoding::Ucs2;
  const int single = ucs2 ? kUcs2Single : kGsmSingle;
  const QList<Counted> chars = countedCharacters(text, coding);
  int total = 0;
  for (const Counted& c : chars) total += c.weight;
  SmsSplit out;
  if (total <= single) {
    out.parts << text;
    return out;
  }
  if (!cfg.ConcatenateSMS && !cfg.CutEMail) {
    out.refusedOver = single;
    return out;
  }
  const bool concatenated = cfg.ConcatenateSMS;
  const int size = concatenated ? (ucs2 ? kUcs2Part : kGsmPart) : single;
  QStringList parts;
  qsizetype from = 0;
  int used = 0;
  for (const Counted& c : chars) {
    if (used > 0 && used + c.weight > size) {
      parts << text.mid(from, c.at - from);
      from = c.at;
      used = 0;
    }
    used += c.weight;
  }
  parts << text.mid(from);
  const int maxParts = std::clamp(cfg.CutEMax, 1, 255);
  if (parts.size() > maxParts) {
    if (!cfg.CutELong) {
      out.refusedOver = maxParts * size;
      return out;
    }
    parts.resize(maxParts);
    out.shortened = true;
  }
  out.concatenated = concatenated && parts.size() > 1;
  out.parts = parts;
  return out;
}

SmsCoding LocalSmsCoding(const QString& text, const Settings& cfg) {
  const QByteArray utf8 = text.toUtf8();
  return cfg.PDUText && Utf8TranslitToAscii(utf8) != utf8 ? SmsCoding::Ucs2 : SmsCoding::Gsm;
}

QByteArray ConcatHeader(std::uint8_t ref, qsizetype total, qsizetype number) {
  QByteArray h("\x05\x00\x03", 3);
  h += static_cast<char>(ref);
  h += static_cast<char>(total);
  h += static_cast<char>(number);
  h += '\0';
  return h;
}

std::uint8_t NextConcatRef(std::uint8_t& ref) {
  ref = ref >= kConcatRefMax ? 1 : ref + 1;
  return ref;
}

}  // namespace kolvane
