#include "gsm/charset_to_gsm.h"

#include <optional>

#include "gsm/charsets.h"
#include "gsm/gsm_codes.h"
#include "gsm/translit_rule.h"

namespace kolvane {

namespace {

struct Replacement {
  char byte;
  bool escape = false;
};

// Punctuation of the code pages that mail programs put in ordinary text (typographic quotes,
// dashes, no-break space); without a look-alike such mails would fail conversion.
std::optional<char> Punctuation(char32_t ch) {
  switch (ch) {
    case U'\u00A0':
      return ' ';
    case U'‘':
    case U'’':
    case U'‚':
    case U'ʼ':
    case U'ʽ':
      return '\'';
    case U'“':
    case U'”':
    case U'„':
      return '"';
    case U'–':
    case U'—':
    case U'―':
      return '-';
    case U'‹':
      return '<';
    case U'›':
      return '>';
    case U'…':
      return '.';
    case U'µ':
      return 'u';
    default:
      return std::nullopt;
  }
}

std::optional<Replacement> ReplacementOf(char32_t ch) {
  switch (ch) {
    case U'€':
      return Replacement{'e', true};
    case U'×':
      return Replacement{'x'};
    case U'Ø':
      return Replacement{static_cast<char>(kGsmOSlash)};
    case U'ø':
      return Replacement{static_cast<char>(kGsmoSlash)};
    default:
      break;
  }
  QByteArray form;
  // Æ, æ, ß and the Greek letters with a GSM capital keep their GSM code.
  if (IsGsmOwnNonAscii(ch) && AppendTransliteration(ch, TranslitForm::Gsm, form) &&
      form.size() == 1)
    return Replacement{form[0]};
  form.clear();
  // Everything else the rule knows: base letters, look-alike capitals, signs; only one byte fits.
  if (AppendTransliteration(ch, TranslitForm::PlainAscii, form) && !form.isEmpty())
    return Replacement{form[0]};
  if (const auto p = Punctuation(ch)) return Replacement{*p};
  return std::nullopt;
}

}  // namespace

ReplacementLists BuiltInReplacementLists(QByteArrayView charset) {
  ReplacementLists lists;
  const auto page = SingleByteCodePage(charset);
  if (!page) return lists;
  for (int b = 128; b < 256; ++b) {
    const auto r = ReplacementOf((*page)[b]);
    if (!r) continue;  // kept as it is; the mail conversion reports it
    lists.in += static_cast<char>(b);
    lists.out += r->byte;
    if (r->escape) lists.escape += static_cast<char>(b);
  }
  return lists;
}

QByteArray ConversionCharset(QByteArrayView mailCharset, const CharsetChoice& choice) {
  if (choice.EmlSmsAuto && IsKnownCharset(mailCharset)) return mailCharset.toByteArray();
  return choice.EmlSmsChConv;
}

void SetUpCharsetReplacement(QByteArrayView charset, CharReplacement& repl, const LogLineFn& log) {
  const ReplacementLists lists = BuiltInReplacementLists(charset);
  if (!repl.setFromLists(lists.in, lists.out)) {
    if (log)
      log(QStringLiteral("Error - different length of SI and SO \"%1\"")
              .arg(QString::fromLatin1(charset)));
    return;
  }
  for (char b : lists.escape) repl.ChEscTab[static_cast<std::uint8_t>(b)] = true;
}

QByteArray ApplyCharReplacement(QByteArrayView bytes, const CharReplacement& repl) {
  QByteArray out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    if (repl.ChEscTab[b]) out += static_cast<char>(kGsmEscape);
    out += static_cast<char>(repl.ChReplTab[b]);
  }
  return out;
}

QByteArray EightBitCharsetToGsmAlphabet(QByteArrayView mailCharset, QByteArrayView bytes,
                                        const CharsetChoice& choice, CharReplacement& repl,
                                        const LogLineFn& log) {
  SetUpCharsetReplacement(ConversionCharset(mailCharset, choice), repl, log);
  return ApplyCharReplacement(bytes, repl);
}

}  // namespace kolvane
