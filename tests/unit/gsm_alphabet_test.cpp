#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include <initializer_list>

#include "gsm/gsm_alphabet.h"
#include "gsm/utf8_conversion.h"

namespace kolvane {
namespace {

QByteArray Bytes(std::initializer_list<int> codes) {
  QByteArray b;
  for (int c : codes) b += static_cast<char>(c);
  return b;
}

// Received text reaches the mail programs as written: every code of both tables as itself.
TEST(GsmAlphabetToText, EveryCodeOfBothTablesAsItself) {
  QByteArray all;
  for (int c = 0; c < 128; ++c) {
    if (c != 27) all += static_cast<char>(c);
  }
  EXPECT_EQ(QString::fromUtf8(GsmAlphabetToText(all)),
            QStringLiteral("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                           "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"));
  EXPECT_EQ(GsmAlphabetToText(Bytes(
                {27, 20, 27, 40, 27, 41, 27, 47, 27, 60, 27, 61, 27, 62, 27, 64, 27, 101, 27, 10})),
            "^{}\\[~]|€\f");
  EXPECT_EQ(GsmAlphabetToText(Bytes({128, 255})), "--");
}

TEST(GsmAlphabetToText, EscapeTakesTheNextByteWhateverItIs) {
  EXPECT_EQ(GsmAlphabetToText(Bytes({27, 60, 'x', 27, 62})), "[x]");
  // A code the extension table lacks shows as the main table's character.
  EXPECT_EQ(GsmAlphabetToText(Bytes({'a', 27, 'b', 'c', 27, 0})), "abc@");
  EXPECT_EQ(GsmAlphabetToText(Bytes({'a', 27})), "a");
}

TEST(Utf8ToGsmAlphabet, LettersWithDiacriticsLoseThem) {
  EXPECT_EQ(Utf8ToGsmAlphabet("Příliš žluťoučký kůň"), "Prilis zlutoucky kun");
  EXPECT_EQ(Utf8ToGsmAlphabet("ÀÅĄÇĎĐÐÉĚĞĦÏİĴĶŁÑŊÖØŐŘŠŢŦÜŮŴÝŸŹŽ"),
            "AAACDDDEEGHIIJKLNNOOORSTTUUWYYZZ");
  EXPECT_EQ(Utf8ToGsmAlphabet("àåąçďđðéěğħïıĵķłñŋöøőřšţŧüůŵýÿźž"),
            "aaacdddeeghiijklnnooorsttuuwyyzz");
  EXPECT_EQ(Utf8ToGsmAlphabet("ŒœÞþȘț"), "OEoeTHthSt");
}

TEST(Utf8ToGsmAlphabet, RecodesAsciiThatDiffersInGsm) {
  EXPECT_EQ(Utf8ToGsmAlphabet("[x]"), Bytes({27, 60, 'x', 27, 62}));
  EXPECT_EQ(GsmAlphabetToText(Utf8ToGsmAlphabet("[x]")), "[x]");
  EXPECT_EQ(Utf8ToGsmAlphabet("$@_`"), Bytes({2, 0, 17, ','}));
  EXPECT_EQ(Utf8ToGsmAlphabet("^{}\\~|"), Bytes({27, 20, 27, 40, 27, 41, 27, 47, 27, 61, 27, 64}));
  EXPECT_EQ(Utf8ToGsmAlphabet("a\tb\x7F\r\n"), "a-b-\r\n");
}

TEST(Utf8ToGsmAlphabet, GsmOwnCharactersGetTheirCodes) {
  EXPECT_EQ(Utf8ToGsmAlphabet("€"), Bytes({27, 101}));
  EXPECT_EQ(Utf8ToGsmAlphabet("Ω"), Bytes({21}));
  EXPECT_EQ(Utf8ToGsmAlphabet("ω"), Bytes({21}));
  EXPECT_EQ(Utf8ToGsmAlphabet("ςΣώ"), Bytes({24, 24, 21}));
  EXPECT_EQ(Utf8ToGsmAlphabet("ÆæßΔ"), Bytes({28, 29, 30, 16}));
  EXPECT_EQ(Utf8ToGsmAlphabet("αβρΧ"), "ABPX");  // Greek without GSM code: Latin look-alike
}

TEST(Utf8ToGsmAlphabet, SignsAndUnlistedCharacters) {
  EXPECT_EQ(Utf8ToGsmAlphabet("¢¥©ª«\u00AD®²³¹º»¿×÷"), "CYCa<-R231o>?X:");
  EXPECT_EQ(Utf8ToGsmAlphabet("Привет"), "------");  // Cyrillic only in the text forms
  EXPECT_EQ(Utf8ToGsmAlphabet("a中b"), "a-b");
}

TEST(Utf8Walk, MalformedOrCutInputBecomesDash) {
  EXPECT_EQ(Utf8ToGsmAlphabet("abc\xC3"), "abc-");  // lone lead byte at the end
  EXPECT_EQ(Utf8ToGsmAlphabet("\xE2\x82"), "-");    // three-byte character cut short
  EXPECT_EQ(Utf8ToGsmAlphabet("\xE2\x82"
                              "A"),
            "--A");                                   // lead without its continuation
  EXPECT_EQ(Utf8ToGsmAlphabet("\x80\xBF"), "--");     // stray continuation bytes
  EXPECT_EQ(Utf8ToGsmAlphabet("\xC0\xAF"), "-");      // overlong "/" is no slash
  EXPECT_EQ(Utf8ToGsmAlphabet("\xED\xA0\x80"), "-");  // surrogate
  EXPECT_EQ(Utf8ToGsmAlphabet("a😀b"), "a-b");         // one character, one dash
  EXPECT_EQ(Utf8ToGsmAlphabet("\xF0\x9F\x98"), "-");
  EXPECT_EQ(Utf8ToGsmAlphabet(QByteArray("a\0b", 3)), "a-b");
}

TEST(Utf8TranslitToAscii, KeepsGsmOwnCharactersAndTransliteratesCyrillic) {
  EXPECT_EQ(Utf8TranslitToAscii("Æ ß € ω ΣΑ `$"), "Æ ß € Ω ΣA `$");
  EXPECT_EQ(Utf8TranslitToAscii("Привет, Щука Юля Ёж"), "Privet, SCuka JUlja -z");
  EXPECT_EQ(Utf8TranslitToAscii("Аа Бб ЪЬъь Џџ Ґґ"), "Aa Bb \"'\"' DZdz Gg");
  EXPECT_EQ(Utf8TranslitToAscii("Žluťoučký"), "Zlutoucky");
}

TEST(Utf8TranslitToPlainAscii, LeavesOnlyAscii) {
  EXPECT_EQ(Utf8TranslitToPlainAscii("Æ æ ß € Ω Θ Ψ δ"), "AE ae ss e O TH PS D");
  EXPECT_EQ(Utf8TranslitToPlainAscii("Щи"), "SCi");
  EXPECT_EQ(Utf8TranslitToPlainAscii("x\xC3"), "x-");
}

TEST(IsGsmSpecial, OneCharacterThatGsmCodesDifferently) {
  for (const char* yes : {"$", "@", "[", "\\", "]", "^", "_", "`", "{", "|",
                          "}", "~", "Æ", "ß",  "æ", "€", "Ω", "ω", "ς", "Δ"})
    EXPECT_TRUE(IsGsmSpecial(yes)) << yes;
  for (const char* no : {"", "a", "-", "α", "Č", "Я", "$$", "\xC3", "\xE2\x82\xAC!"})
    EXPECT_FALSE(IsGsmSpecial(no)) << no;
}

TEST(TextModeForm, ReplacesWhatTheModemCannotTake) {
  EXPECT_EQ(TextModeForm(Bytes({'a', 26, 'b'})), "axib");
  EXPECT_EQ(TextModeForm(Bytes(
                {27, 20, 27, 40, 27, 60, 27, 41, 27, 62, 27, 47, 27, 61, 27, 64, 27, 101, 27, 10})),
            "'(())/-Ie-");
  EXPECT_EQ(TextModeForm(Bytes({'a', 27})), "a-");
  EXPECT_EQ(TextModeForm(Bytes({0, 2, 17})), Bytes({0, 2, 17}));
}

TEST(TextModeForm, XiShortenedWhenTheTextWouldGrowPastTheLimit) {
  QByteArray text(158, 'a');
  text[1] = 26;
  const QByteArray out = TextModeForm(text);
  EXPECT_EQ(out.size(), 158);
  EXPECT_EQ(out.mid(0, 3), "axa");

  QByteArray shorter(150, 'a');
  shorter[1] = 26;
  EXPECT_EQ(TextModeForm(shorter).mid(0, 4), "axia");
}

}  // namespace
}  // namespace kolvane
