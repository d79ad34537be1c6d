#include "settings/catalogue.h"

#include <gtest/gtest.h>
#include <QSet>

#include "settings/language.h"

namespace kolvane {
namespace {

TEST(Catalogue, NumbersAndKeys) {
  const auto entries = catalogueEntries();
  EXPECT_EQ(entries.size(), 283u);
  QSet<QString> keys;
  for (const CatalogueEntry& e : entries) {
    EXPECT_GE(e.number, kCatalogueFirst);
    EXPECT_LE(e.number, kCatalogueLast);
    keys.insert(QString::fromUtf8(e.key).toLower());
    EXPECT_EQ(catalogueEntry(e.number), &e);
  }
  EXPECT_EQ(keys.size(), static_cast<qsizetype>(entries.size())) << "keys must be unique";
  EXPECT_EQ(catalogueEntry(0), nullptr);
  EXPECT_EQ(catalogueEntry(28), nullptr);
  EXPECT_EQ(catalogueEntry(166), nullptr);
}

TEST(Catalogue, TextsAreKeptExactly) {
  Language lang(QStringLiteral("/nonexistent"));
  EXPECT_EQ(lang.Text(66),
            QStringLiteral("Old %s cannot be erased.\rPlease, Re-run program as administrator."));
  EXPECT_EQ(lang.Text(123),
            QStringLiteral("If SMS is longer than   %s   characters:   (%s*%s=%s)"));
  EXPECT_TRUE(lang.Text(162).contains(QStringLiteral("1933\u20131990")));
  lang.setLanguage(QStringLiteral("CZ"));
  EXPECT_EQ(lang.Text(32), QStringLiteral("POP3 klient přijal %s SMS "));
  EXPECT_EQ(lang.Text(53), QStringLiteral("Přepnutí do režimu PDU"));
  EXPECT_EQ(lang.Text(85), QStringLiteral("SMTP server nemá e-maily pro odeslání GSM bránou"));
}

TEST(Catalogue, NumbersWithoutEntryAreEmptyInEveryLanguage) {
  Language lang(QStringLiteral("/nonexistent"));
  for (const char* name : {"EN", "CZ", "INI"}) {
    lang.setLanguage(QString::fromLatin1(name));
    for (const int n : {0, 8, 28, 143, 166, -1}) EXPECT_TRUE(lang.Text(n).isEmpty()) << n;
  }
}

TEST(Catalogue, PlaceholdersFillInOrder) {
  EXPECT_EQ(fillPlaceholders(QStringLiteral("GSM gateway received %s SMS to %s"),
                             {QStringLiteral("2"), QStringLiteral("+420")}),
            QStringLiteral("GSM gateway received 2 SMS to +420"));
  // An argument holding "%s" is not filled again.
  EXPECT_EQ(
      fillPlaceholders(QStringLiteral("a %s b %s"), {QStringLiteral("%s"), QStringLiteral("x")}),
      QStringLiteral("a %s b x"));
  EXPECT_EQ(fillPlaceholders(QStringLiteral("%s and %s"), {QStringLiteral("1")}),
            QStringLiteral("1 and %s"));
  EXPECT_EQ(fillPlaceholders(QStringLiteral("none"), {QStringLiteral("1")}),
            QStringLiteral("none"));
  Language lang(QStringLiteral("/nonexistent"));
  EXPECT_EQ(lang.Text(97, {QStringLiteral("/x/EN")}), QStringLiteral("/x/EN.ini created"));
}

TEST(Catalogue, LanguageChoiceByName) {
  const auto en = LanguageId::En;
  EXPECT_EQ(chooseLanguage(QStringLiteral("CZ"), en), LanguageId::Cz);
  EXPECT_EQ(chooseLanguage(QStringLiteral("btnCZ"), en), LanguageId::Cz);
  EXPECT_EQ(chooseLanguage(QStringLiteral("cz"), en), LanguageId::Cz);
  EXPECT_EQ(chooseLanguage(QStringLiteral("INI"), en), LanguageId::Ini);
  EXPECT_EQ(chooseLanguage(QStringLiteral("btnINI"), en), LanguageId::Ini);
  EXPECT_EQ(chooseLanguage(QStringLiteral("btnEN"), LanguageId::Cz), LanguageId::En);
  EXPECT_EQ(chooseLanguage(QStringLiteral("DE"), LanguageId::Cz), LanguageId::En);
  EXPECT_EQ(chooseLanguage(QStringLiteral("*"), LanguageId::Cz), LanguageId::Cz);
  EXPECT_EQ(chooseLanguage(QStringLiteral("*"), LanguageId::Ini), LanguageId::Ini);
  EXPECT_EQ(languageName(LanguageId::Ini), QStringLiteral("INI"));
  EXPECT_EQ(languageName(LanguageId::Cz), QStringLiteral("CZ"));
}

}  // namespace
}  // namespace kolvane
