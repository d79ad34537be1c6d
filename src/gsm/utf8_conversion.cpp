#include "gsm/utf8_conversion.h"

#include <string_view>

#include "gsm/translit_rule.h"
#include "gsm/utf8_walk.h"

namespace kolvane {

namespace {

QByteArray Convert(QByteArrayView utf8, TranslitForm form) {
  QByteArray out;
  out.reserve(utf8.size());
  ForEachUtf8Char(utf8, [&](std::optional<char32_t> ch) {
    if (!ch || !AppendTransliteration(*ch, form, out)) out += '-';
  });
  return out;
}

}  // namespace

QByteArray Utf8ToGsmAlphabet(QByteArrayView utf8) {
  return Convert(utf8, TranslitForm::Gsm);
}

QByteArray Utf8TranslitToAscii(QByteArrayView utf8) {
  return Convert(utf8, TranslitForm::Text);
}

QByteArray Utf8TranslitToPlainAscii(QByteArrayView utf8) {
  return Convert(utf8, TranslitForm::PlainAscii);
}

bool IsGsmSpecial(QByteArrayView utf8Char) {
  if (utf8Char.isEmpty()) return false;
  const Utf8Step step = NextUtf8Char(utf8Char, 0);
  if (!step.ch || step.length != utf8Char.size()) return false;
  constexpr std::u32string_view kAsciiSpecial = U"$@[\\]^_`{|}~";
  return kAsciiSpecial.find(*step.ch) != std::u32string_view::npos || IsGsmOwnNonAscii(*step.ch);
}

}  // namespace kolvane
