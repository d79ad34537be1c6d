#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include <QChar>
#include <QStringList>

#include "gsm/charset_to_gsm.h"
#include "gsm/charsets.h"

namespace kolvane {
namespace {

QByteArray Gsm(std::initializer_list<int> codes) {
  QByteArray b;
  for (int c : codes) b += static_cast<char>(c);
  return b;
}

QByteArray Convert(const char* charset, const QByteArray& bytes, CharReplacement& repl) {
  return EightBitCharsetToGsmAlphabet(charset, bytes, CharsetChoice{true, "utf-8"}, repl, {});
}

TEST(KnownCharset, ExactNamesOnly) {
  for (auto name : kMailCharsets) EXPECT_TRUE(IsKnownCharset(QByteArrayView(name))) << name;
  EXPECT_FALSE(IsKnownCharset("Windows-1250"));
  EXPECT_FALSE(IsKnownCharset("windows-1250 "));
  EXPECT_FALSE(IsKnownCharset("koi8-r"));
  EXPECT_FALSE(IsKnownCharset(""));
}

TEST(DecodeFromNamedCharset, EveryCharsetThroughTheSystemConverter) {
  EXPECT_EQ(DecodeFromNamedCharset("windows-1250", "\x8A\xE8\x80"), "Šč€");
  EXPECT_EQ(DecodeFromNamedCharset("windows-1251", "\xCF\xF0\xE8"), "При");
  EXPECT_EQ(DecodeFromNamedCharset("iso-8859-5", "\xBF\xE0\xD8"), "При");
  EXPECT_EQ(DecodeFromNamedCharset("iso-8859-7", "\xD9\xF9"), "Ωω");
  EXPECT_EQ(DecodeFromNamedCharset("iso-8859-16", "\xAA\xA4"), "Ș€");
  EXPECT_EQ(DecodeFromNamedCharset("utf-8", "\xC5\xBE"), "ž");
  EXPECT_EQ(DecodeFromNamedCharset("koi8-r", "abc"), QString());
  for (auto name : kMailCharsets) {
    const QByteArrayView n(name);
    EXPECT_EQ(DecodeFromNamedCharset(n, "Az09"), "Az09") << name;
    if (n != "utf-8") {
      EXPECT_TRUE(SingleByteCodePage(n).has_value()) << name;
    }
  }
}

TEST(EightBitCharsetToGsm, CentralEuropeanMail) {
  CharReplacement repl;
  // Č, the euro sign, ž, ß, a no-break space
  EXPECT_EQ(Convert("windows-1250", "\xC8\x80\x9E\xDF\xA0", repl),
            Gsm({'C', 27, 101, 'z', 30, ' '}));
  EXPECT_TRUE(repl.ChEscTab[0x80]);
  EXPECT_EQ(repl.ChReplTab[0xC8], 'C');
  EXPECT_EQ(repl.MailSmsInCh.size(), repl.MailSmsOutCh.size());
  EXPECT_TRUE(repl.MailSmsInCh.contains('\xC8'));
}

TEST(EightBitCharsetToGsm, GsmLettersAndSigns) {
  CharReplacement repl;
  // Æ æ Ø ø × ¿ Ä Å
  EXPECT_EQ(Convert("iso-8859-1", "\xC6\xE6\xD8\xF8\xD7\xBF\xC4\xC5", repl),
            Gsm({28, 29, 11, 12, 'x', '?', 'A', 'A'}));
  // No look-alike: the byte stays for the caller to report (pound, section sign).
  EXPECT_EQ(Convert("iso-8859-1", "\xA3\xA7", repl), "\xA3\xA7");
}

TEST(EightBitCharsetToGsm, GreekCodePagesUseGsmCapitals) {
  CharReplacement repl;
  // Ω ω ς δ ώ α ρ Χ
  const QByteArray greek = "\xD9\xF9\xF2\xE4\xFE\xE1\xF1\xD7";
  const QByteArray expected = Gsm({21, 21, 24, 16, 21, 'A', 'P', 'X'});
  EXPECT_EQ(Convert("iso-8859-7", greek, repl), expected);
  EXPECT_EQ(Convert("windows-1253", greek, repl), expected);
}

TEST(EightBitCharsetToGsm, TableChoice) {
  CharReplacement repl;
  const QByteArray c = "\xC8";  // Č in windows-1250, È in windows-1252, И in windows-1251
  EXPECT_EQ(EightBitCharsetToGsmAlphabet("windows-1251", c, {true, "windows-1250"}, repl, {}), "I");
  EXPECT_EQ(EightBitCharsetToGsmAlphabet("windows-1251", c, {false, "windows-1252"}, repl, {}),
            "E");
  EXPECT_EQ(EightBitCharsetToGsmAlphabet("x-unknown", c, {true, "windows-1250"}, repl, {}), "C");
  EXPECT_EQ(EightBitCharsetToGsmAlphabet("x-unknown", c, {true, "utf-8"}, repl, {}), "\xC8");
  EXPECT_TRUE(repl.MailSmsInCh.isEmpty());
  EXPECT_FALSE(repl.ChEscTab[0x80]);  // the escape of an earlier table is gone
}

// Every letter of every code page has a replacement, except the few Cyrillic letters the
// transliteration leaves out (accent signs such as the caron are no letters); replacements are
// GSM bytes.
TEST(EightBitCharsetToGsm, ListsCoverEveryLetterOfEveryCodePage) {
  const QString unmapped = QStringLiteral("ЁёЄєІіЇї");
  for (auto name : kMailCharsets) {
    const QByteArrayView n(name);
    if (n == "utf-8") continue;
    const auto page = SingleByteCodePage(n);
    ASSERT_TRUE(page) << name;
    const ReplacementLists lists = BuiltInReplacementLists(n);
    ASSERT_EQ(lists.in.size(), lists.out.size()) << name;
    for (char r : lists.out) EXPECT_LT(static_cast<std::uint8_t>(r), 128) << name;
    for (int b = 128; b < 256; ++b) {
      const QChar ch((*page)[b]);
      const bool letter = ch.isLetter() && ch.category() != QChar::Letter_Modifier;
      if (letter && !unmapped.contains(ch)) {
        EXPECT_TRUE(lists.in.contains(static_cast<char>(b)))
            << name << " byte " << b << " U+" << std::hex << int(ch.unicode());
      }
    }
    EXPECT_EQ(lists.escape.size(), std::count(page->begin() + 128, page->end(), u'€')) << name;
  }
}

TEST(EightBitCharsetToGsm, UtfAndUnknownNamesLeaveTheIdentity) {
  CharReplacement repl;
  repl.setFromLists("\xE8", "c");
  std::vector<QString> lines;
  SetUpCharsetReplacement("utf-8", repl, [&](const QString& l) { lines.push_back(l); });
  EXPECT_EQ(repl.ChReplTab[0xE8], 0xE8);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(ApplyCharReplacement("\xE8x", repl), "\xE8x");
}

}  // namespace
}  // namespace kolvane
