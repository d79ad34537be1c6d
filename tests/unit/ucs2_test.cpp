#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include "gsm/ucs2.h"

namespace kolvane {
namespace {

TEST(Ucs2Hex, OfTextAndNumber) {
  EXPECT_EQ(Ucs2HexOfText(u"Až€"), "0041017E20AC");
  EXPECT_EQ(Ucs2HexOfText(u"😀"), "D83DDE00");
  EXPECT_EQ(Ucs2HexOfNumber("+420"), "002B003400320030");
  EXPECT_EQ(Ucs2HexOfNumber("\xE9"), "00E9");
}

TEST(TextOfUcs2Hex, SkipsWhatIsNoHexDigitAndRestartsTheGroup) {
  EXPECT_EQ(TextOfUcs2Hex("004100420043"), "ABC");
  EXPECT_EQ(TextOfUcs2Hex("0041 0042\r\n0043"), "ABC");
  EXPECT_EQ(TextOfUcs2Hex("00410042004"), "AB");  // incomplete last group
  EXPECT_EQ(TextOfUcs2Hex("00 00420043"), "BC");  // the broken group is dropped
  EXPECT_EQ(TextOfUcs2Hex("017e"), "ž");          // lower case counts
  EXPECT_EQ(TextOfUcs2Hex("00\x1B"
                          "41"),
            "");
}

TEST(TextOfUcs2Hex, SurrogatePairsFormOneCharacter) {
  EXPECT_EQ(TextOfUcs2Hex("D83DDE00"), "😀");
  EXPECT_EQ(TextOfUcs2Hex("D83D0041"),
            "\xEF\xBF\xBD"
            "A");  // lone half
  EXPECT_EQ(StrictTextOfUcs2Hex("0041D83DDE00"), "A😀");
}

TEST(StrictTextOfUcs2Hex, WholeGroupsOrNothing) {
  EXPECT_EQ(StrictTextOfUcs2Hex("002B0034"), "+4");
  EXPECT_EQ(StrictTextOfUcs2Hex("00410"), "");
  EXPECT_EQ(StrictTextOfUcs2Hex("0041 042"), "");
  EXPECT_EQ(StrictTextOfUcs2Hex(""), "");
}

TEST(Ucs2Bytes, BigEndianPairs) {
  EXPECT_EQ(Ucs2Bytes(u"Až"), QByteArray("\x00\x41\x01\x7E", 4));
  EXPECT_EQ(TextOfUcs2Bytes(QByteArray("\x00\x41\x01\x7E\x20", 5)), u"Až");
  EXPECT_EQ(TextOfUcs2Bytes(Ucs2Bytes(u"Příliš 😀")), u"Příliš 😀");
}

}  // namespace
}  // namespace kolvane

TEST(Ucs2Left, NeverPartsASurrogatePair) {
  const QString text = QStringLiteral("ab") + QString::fromUcs4(U"\U0001F600") + "c";
  EXPECT_EQ(kolvane::Ucs2Left(text, 3), "ab");
  EXPECT_EQ(kolvane::Ucs2Left(text, 4), text.left(4));
  EXPECT_EQ(kolvane::Ucs2Left(text, 9), text);
  EXPECT_EQ(kolvane::Ucs2Left(text, 0), "");
}
