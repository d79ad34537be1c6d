#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include <QChar>
#include <QStringList>
#include <tuple>

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

TEST(CanonicalCharset, StandardNamesAndAliases) {
  const std::pair<const char*, const char*> names[] = {
      {"UTF-8", "utf-8"},
      {"UTF8", "utf-8"},
      {"utf_8", "utf-8"},
      {"\"Utf-8\"", "utf-8"},
      {"latin2", "iso-8859-2"},
      {"ISO_8859-2:1987", "iso-8859-2"},
      {"iso8859-2", "iso-8859-2"},
      {"l1", "iso-8859-1"},
      {"cp1250", "windows-1250"},
      {"x-cp1251", "windows-1251"},
      {"Windows-1257", "windows-1257"},
      {"greek", "iso-8859-7"},
      {"latin10", "iso-8859-16"},
      {"ISO-8859-15", "iso-8859-15"},
      {"US-ASCII", "us-ascii"},
      {"cp1256", "cp1256"},
      {"", ""},
  };
  for (const auto& [name, canonical] : names) EXPECT_EQ(CanonicalCharset(name), canonical) << name;
}

TEST(CanonicalCharset, OtherCharsetsAndTextsWithoutOne) {
  EXPECT_EQ(DecodeWithSystemConverter("iso-8859-15", "5 \xA4"), QStringLiteral("5 €"));
  EXPECT_EQ(DecodeWithSystemConverter("koi8-r", "\xF0\xD2\xC9"), QStringLiteral("При"));
  EXPECT_EQ(DecodeWithSystemConverter("us-ascii", "plain"), QStringLiteral("plain"));
  EXPECT_FALSE(DecodeWithSystemConverter("us-ascii", "caf\xC3\xA9"));  // not valid in it
  EXPECT_FALSE(DecodeWithSystemConverter("x-unknown", "abc"));
  EXPECT_FALSE(DecodeWithSystemConverter("../../x", "abc"));
  EXPECT_TRUE(SystemConverterKnows("us-ascii"));
  EXPECT_FALSE(SystemConverterKnows("x-unknown"));

  EXPECT_EQ(UndeclaredCharset("caf\xC3\xA9", "windows-1250"), "utf-8");
  EXPECT_EQ(UndeclaredCharset("P\xF8ijdu", "windows-1250"), "windows-1250");
  EXPECT_EQ(UndeclaredCharset("P\xF8ijdu", "utf-8"), "windows-1252");
  EXPECT_EQ(UndeclaredCharset("P\xF8ijdu", ""), "windows-1252");
  EXPECT_EQ(ReadUndeclared("\x80", ""), QStringLiteral("€"));

  const std::tuple<const char*, QByteArray, const char*, QByteArray> resolved[] = {
      {"UTF8", "x", "utf-8", "x"},
      {"koi8-r", "\xF0", "utf-8", "\xD0\x9F"},
      {"us-ascii", "P\xF8ijdu", "windows-1250", "P\xF8ijdu"},  // its bytes are not ASCII
      {"x-unknown", "P\xF8ijdu", "x-unknown", "P\xF8ijdu"},
      {"", "P\xF8ijdu", "windows-1250", "P\xF8ijdu"},
  };
  for (const auto& [declared, bytes, charset, out] : resolved) {
    const CharsetText text = ResolveCharset(declared, bytes, "windows-1250");
    EXPECT_EQ(text.charset, charset) << declared;
    EXPECT_EQ(text.bytes, out) << declared;
  }
  // Headers: bytes invalid in their charset read as if none were declared.
  EXPECT_EQ(ReadDeclared("utf-8", "P\xF8ijdu", "windows-1250"), QStringLiteral("Přijdu"));
  EXPECT_EQ(ReadDeclared("x-unknown", "P\xF8ijdu", ""), QStringLiteral("Pøijdu"));
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
