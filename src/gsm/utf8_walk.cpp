#include "gsm/utf8_walk.h"

namespace kolvane {

namespace {

bool IsContinuation(std::uint8_t b) {
  return (b & 0xC0) == 0x80;
}

}  // namespace

Utf8Step NextUtf8Char(QByteArrayView text, qsizetype pos) {
  const auto lead = static_cast<std::uint8_t>(text[pos]);
  if (lead < 0x80) return {char32_t{lead}, 1};

  qsizetype need = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    need = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    need = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    // Four-byte characters are walked whole so that one of them yields one "-", not four.
    need = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return {std::nullopt, 1};
  }

  const qsizetype available = text.size() - pos - 1;
  for (qsizetype k = 1; k <= need; ++k) {
    if (k > available) return {std::nullopt, available + 1};  // cut short by the end
    const auto b = static_cast<std::uint8_t>(text[pos + k]);
    if (!IsContinuation(b)) return {std::nullopt, 1};
    value = (value << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return {std::nullopt, need + 1};
  return {value, need + 1};
}

}  // namespace kolvane
