#include "gsm/translit_rule.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <optional>
#include <string_view>

#include "gsm/gsm_codes.h"

namespace kolvane {

namespace {

struct Mapping {
  char32_t ch;
  std::string_view to;
};

struct GreekLetter {
  char32_t capital;
  std::uint8_t gsm;  // 0 when the GSM alphabet lacks the letter
  std::string_view latin;
};

constexpr GreekLetter kGreek[] = {
    {U'Α', 0, "A"},  {U'Β', 0, "B"}, {U'Γ', 19, "G"},  {U'Δ', 16, "D"}, {U'Ε', 0, "E"},
    {U'Ζ', 0, "Z"},  {U'Η', 0, "H"}, {U'Θ', 25, "TH"}, {U'Ι', 0, "I"},  {U'Κ', 0, "K"},
    {U'Λ', 20, "L"}, {U'Μ', 0, "M"}, {U'Ν', 0, "N"},   {U'Ξ', 26, "X"}, {U'Ο', 0, "O"},
    {U'Π', 22, "P"}, {U'Ρ', 0, "P"}, {U'Σ', 24, "S"},  {U'Τ', 0, "T"},  {U'Υ', 0, "Y"},
    {U'Φ', 18, "F"}, {U'Χ', 0, "X"}, {U'Ψ', 23, "PS"}, {U'Ω', 21, "O"},
};

// Capitals; small letters take the lower-case form of the same text.
constexpr Mapping kCyrillic[] = {
    {U'А', "A"}, {U'Б', "B"},  {U'В', "V"},  {U'Г', "G"},  {U'Д', "D"},  {U'Е', "E"},  {U'Ж', "Z"},
    {U'З', "Z"}, {U'И', "I"},  {U'Й', "J"},  {U'К', "K"},  {U'Л', "L"},  {U'М', "M"},  {U'Н', "N"},
    {U'О', "O"}, {U'П', "P"},  {U'Р', "R"},  {U'С', "S"},  {U'Т', "T"},  {U'У', "U"},  {U'Ф', "F"},
    {U'Х', "H"}, {U'Ц', "C"},  {U'Ч', "C"},  {U'Ш', "S"},  {U'Щ', "SC"}, {U'Ъ', "\""}, {U'Ы', "Y"},
    {U'Ь', "'"}, {U'Э', "E"},  {U'Ю', "JU"}, {U'Я', "JA"}, {U'Ђ', "DJ"}, {U'Ѓ', "G"},  {U'Ѕ', "DZ"},
    {U'Ј', "J"}, {U'Љ', "LJ"}, {U'Њ', "NJ"}, {U'Ћ', "C"},  {U'Ќ', "K"},  {U'Ў', "U"},  {U'Џ', "DZ"},
    {U'Ґ', "G"},
};

constexpr Mapping kSigns[] = {
    {U'¢', "C"},      {U'¥', "Y"}, {U'©', "C"}, {U'ª', "a"}, {U'«', "<"},
    {U'\u00AD', "-"}, {U'®', "R"}, {U'²', "2"}, {U'³', "3"}, {U'¹', "1"},
    {U'º', "o"},      {U'»', ">"}, {U'¿', "?"}, {U'×', "X"}, {U'÷', ":"},
};

// Latin letters that carry no canonical decomposition to their base letter.
constexpr Mapping kLatinSpecial[] = {
    {U'Ð', "D"}, {U'ð', "d"},  {U'Ø', "O"},  {U'ø', "o"}, {U'Þ', "TH"}, {U'þ', "th"},
    {U'Đ', "D"}, {U'đ', "d"},  {U'Ħ', "H"},  {U'ħ', "h"}, {U'ı', "i"},  {U'ĸ', "k"},
    {U'Ŀ', "L"}, {U'ŀ', "l"},  {U'Ł', "L"},  {U'ł', "l"}, {U'ŉ', "n"},  {U'Ŋ', "N"},
    {U'ŋ', "n"}, {U'Œ', "OE"}, {U'œ', "oe"}, {U'Ŧ', "T"}, {U'ŧ', "t"},  {U'ƒ', "f"},
};

template <std::size_t N>
std::optional<std::string_view> Find(const Mapping (&table)[N], char32_t ch) {
  const auto it = std::find_if(std::begin(table), std::end(table),
                               [ch](const Mapping& m) { return m.ch == ch; });
  if (it == std::end(table)) return std::nullopt;
  return it->to;
}

void AppendUtf8(char32_t ch, QByteArray& out) {
  out += QString::fromUcs4(&ch, 1).toUtf8();
}

// The decomposed form without its combining marks, or empty.
QString StripMarks(char32_t ch, QString::NormalizationForm form) {
  QString result;
  for (QChar c : QString::fromUcs4(&ch, 1).normalized(form))
    if (!c.isMark()) result += c;
  return result;
}

// A Latin letter with diacritics as its base letter(s), e.g. "Č" → "C", "Ǆ" → "DZ".
std::optional<QByteArray> LatinBase(char32_t ch) {
  if (ch < 0xC0 || ch > 0x24F || !QChar::isLetter(ch)) return std::nullopt;
  if (auto special = Find(kLatinSpecial, ch)) return QByteArray(special->data(), special->size());
  const QString base = StripMarks(ch, QString::NormalizationForm_KD);
  const bool plain = !base.isEmpty() && std::all_of(base.begin(), base.end(), [](QChar c) {
    return c.unicode() < 0x80 && c.isLetter();
  });
  if (!plain) return std::nullopt;
  return base.toLatin1();
}

const GreekLetter* Greek(char32_t ch) {
  const bool greekBlock = (ch >= 0x370 && ch <= 0x3FF) || (ch >= 0x1F00 && ch <= 0x1FFF);
  if (!greekBlock) return nullptr;
  const QString base = StripMarks(ch, QString::NormalizationForm_D);
  if (base.size() != 1) return nullptr;
  const char32_t capital = QChar::toUpper(base.front().unicode());
  const auto it = std::find_if(std::begin(kGreek), std::end(kGreek),
                               [capital](const GreekLetter& g) { return g.capital == capital; });
  return it == std::end(kGreek) ? nullptr : it;
}

std::optional<QByteArray> Cyrillic(char32_t ch) {
  if (ch < 0x400 || ch > 0x4FF) return std::nullopt;
  const auto to = Find(kCyrillic, QChar::toUpper(ch));
  if (!to) return std::nullopt;
  const QByteArray text(to->data(), to->size());
  return QChar::isLower(ch) ? text.toLower() : text;
}

void AppendAscii(char32_t ch, TranslitForm form, QByteArray& out) {
  if (form != TranslitForm::Gsm) {
    out += static_cast<char>(ch);
    return;
  }
  if (const auto ext = GsmExtensionCode(ch)) {
    out += static_cast<char>(kGsmEscape);
    out += static_cast<char>(*ext);
    return;
  }
  switch (ch) {
    case U'$':
      out += static_cast<char>(kGsmDollar);
      break;
    case U'@':
      out += static_cast<char>(kGsmAt);
      break;
    case U'_':
      out += static_cast<char>(kGsmUnderscore);
      break;
    case U'`':
      out += ',';
      break;
    default:
      out += static_cast<char>(ch);
  }
}

// Æ, æ, ß and € in the three forms; false for other characters.
bool AppendGsmLetterOrEuro(char32_t ch, TranslitForm form, QByteArray& out) {
  struct Own {
    char32_t ch;
    std::uint8_t gsm;
    std::string_view plain;
  };
  static constexpr Own kOwn[] = {
      {U'Æ', kGsmAE, "AE"}, {U'æ', kGsmae, "ae"}, {U'ß', kGsmSharpS, "ss"}, {U'€', 0, "e"}};
  const auto it =
      std::find_if(std::begin(kOwn), std::end(kOwn), [ch](const Own& o) { return o.ch == ch; });
  if (it == std::end(kOwn)) return false;
  switch (form) {
    case TranslitForm::Text:
      AppendUtf8(ch, out);
      break;
    case TranslitForm::PlainAscii:
      out.append(it->plain.data(), it->plain.size());
      break;
    case TranslitForm::Gsm:
      if (ch == U'€') {
        out += static_cast<char>(kGsmEscape);
        out += static_cast<char>(kGsmEuroExt);
      } else {
        out += static_cast<char>(it->gsm);
      }
      break;
  }
  return true;
}

void AppendGreek(const GreekLetter& g, TranslitForm form, QByteArray& out) {
  if (g.gsm == 0 || form == TranslitForm::PlainAscii) {
    out.append(g.latin.data(), g.latin.size());
  } else if (form == TranslitForm::Gsm) {
    out += static_cast<char>(g.gsm);
  } else {
    AppendUtf8(g.capital, out);
  }
}

}  // namespace

bool AppendTransliteration(char32_t ch, TranslitForm form, QByteArray& out) {
  if (ch == U'\r' || ch == U'\n' || (ch >= 32 && ch <= 126)) {
    AppendAscii(ch, form, out);
    return true;
  }
  if (AppendGsmLetterOrEuro(ch, form, out)) return true;
  if (auto sign = Find(kSigns, ch)) {
    out.append(sign->data(), sign->size());
    return true;
  }
  if (auto latin = LatinBase(ch)) {
    out += *latin;
    return true;
  }
  if (const GreekLetter* g = Greek(ch)) {
    AppendGreek(*g, form, out);
    return true;
  }
  if (form != TranslitForm::Gsm) {
    if (auto cyrillic = Cyrillic(ch)) {
      out += *cyrillic;
      return true;
    }
  }
  return false;
}

bool IsGsmOwnNonAscii(char32_t ch) {
  if (ch == U'Æ' || ch == U'æ' || ch == U'ß' || ch == U'€') return true;
  const GreekLetter* g = Greek(ch);
  return g && g->gsm != 0;
}

}  // namespace kolvane
