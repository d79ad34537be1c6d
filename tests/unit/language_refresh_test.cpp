#include "settings/language_refresh.h"

#include <gtest/gtest.h>

#include "settings/language.h"

namespace kolvane {
namespace {

TEST(LanguageRefresh, CharsetListAndSelection) {
  Language lang(QStringLiteral("/nonexistent"));
  const QStringList items = charsetItems(lang);
  ASSERT_EQ(items.size(), 16);
  EXPECT_EQ(items.first(), QStringLiteral("without conversion"));
  EXPECT_EQ(items[2], QStringLiteral("Cyrillic  charset=windows-1251"));
  EXPECT_EQ(items.last(), QStringLiteral("Unicode (Latin,Greek,Cyrillic) charset=utf-8"));

  const auto select = [&](const char* setting) {
    return selectedCharsetItem(items, QString::fromLatin1(setting));
  };
  EXPECT_EQ(select("iso-8859-1"), 7) << "not the iso-8859-16 item further down";
  EXPECT_EQ(select("iso-8859-16"), 14);
  EXPECT_EQ(select("windows-1250"), 1);
  EXPECT_EQ(select(""), 15) << "an empty setting selects the last item";
  EXPECT_EQ(select("koi8-r"), 0);
  EXPECT_EQ(select("without conversion"), 0);
}

TEST(LanguageRefresh, LongSmsCaption) {
  Language lang(QStringLiteral("/nonexistent"));
  EXPECT_EQ(longSmsCaption(lang, QStringLiteral("5"), true),
            QStringLiteral("If SMS is longer than   765   characters:   (5*153=765)"));
  EXPECT_EQ(longSmsCaption(lang, QStringLiteral("2"), false),
            QStringLiteral("If SMS is longer than   320   characters:   (2*160=320)"));
  for (const char* field : {"0", "-3", "abc", "", "99999999999"}) {
    EXPECT_TRUE(longSmsCaption(lang, QString::fromLatin1(field), true).isEmpty()) << field;
  }
}

TEST(LanguageRefresh, PanelsFollowTheLanguage) {
  Language lang(QStringLiteral("/nonexistent"));
  lang.setLanguage(QStringLiteral("CZ"));
  const LanguageRefresh r = refreshTexts(
      lang, {QStringLiteral("1.0.0.0"), QStringLiteral("Mini Gate A"), QStringLiteral("utf-8")});
  EXPECT_EQ(r.sentTitle, QStringLiteral("Odesláno"));
  EXPECT_EQ(r.receivedTitle, QStringLiteral("Přijato"));
  EXPECT_EQ(r.mainVersionPanel, QStringLiteral(" Verze: 1.0.0.0"));
  EXPECT_EQ(r.mainDevicePanel, QStringLiteral("GSM zařízení: Mini Gate A"));
  EXPECT_EQ(r.installerVersionPanel, QStringLiteral(" Tato verze: 1.0.0.0"));
  EXPECT_EQ(r.charsetIndex, 15);
  EXPECT_EQ(r.charsetItems.first(), QStringLiteral("bez konverze"));
  EXPECT_EQ(r.memoryName, QStringLiteral("paměti"));
  EXPECT_EQ(r.speechTestText, QStringLiteral("Zkušební text"));
  EXPECT_EQ(r.concatenationHint, lang.Text(151));
}

}  // namespace
}  // namespace kolvane
