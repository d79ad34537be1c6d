#pragma once

#include <QByteArrayView>
#include <optional>

namespace kolvane {

// One step of a UTF-8 walk: the character found, or none for a byte (or a sequence cut short by
// the end of the text) that is not a character. `length` is never 0, so a walk always advances.
struct Utf8Step {
  std::optional<char32_t> ch;
  qsizetype length = 1;
};

Utf8Step NextUtf8Char(QByteArrayView text, qsizetype pos);

template <typename Fn>
void ForEachUtf8Char(QByteArrayView text, Fn&& fn) {
  for (qsizetype pos = 0; pos < text.size();) {
    const Utf8Step step = NextUtf8Char(text, pos);
    fn(step.ch);
    pos += step.length;
  }
}

}  // namespace kolvane
