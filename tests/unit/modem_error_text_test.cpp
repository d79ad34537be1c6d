#include "gsm/modem_error_text.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "settings/catalogue.h"
#include "settings/language.h"
#include "settings/language_export.h"

namespace kolvane {
namespace {

using at::FinalKind;

at::FinalResult Result(FinalKind kind, int code, QByteArray words = {}) {
  at::FinalResult r;
  r.kind = kind;
  r.code = code;
  r.words = std::move(words);
  return r;
}

// The codes the table must name, and how the modem writes each kind.
const struct {
  FinalKind kind;
  const char* said;
  QList<int> codes;
} kTable[] = {
    {FinalKind::CmeError, "+CME ERROR: ", {0,  3,  4,  10, 11, 12, 13, 14, 15, 16, 17,
                                           18, 20, 21, 22, 23, 24, 30, 31, 32, 100}},
    {FinalKind::CmsError, "+CMS ERROR: ", {21,  27,  28,  29,  38,  41,  42,  47,  50,  96,  300,
                                           301, 302, 303, 304, 305, 310, 311, 312, 313, 314, 315,
                                           316, 317, 318, 320, 321, 322, 330, 331, 332, 500}},
};

TEST(ModemErrorText, EveryCodeHasWordsInBothLanguages) {
  Language en(QStringLiteral("/nonexistent"));
  Language cz(QStringLiteral("/nonexistent"));
  cz.setLanguage(QStringLiteral("CZ"));
  QSet<int> numbers;
  for (const auto& kind : kTable) {
    for (const int code : kind.codes) {
      const at::FinalResult r = Result(kind.kind, code);
      const int n = ModemErrorNumber(r);
      SCOPED_TRACE(kind.said + std::to_string(code));
      ASSERT_GE(n, 200);
      ASSERT_LE(n, 299);
      EXPECT_FALSE(numbers.contains(n));
      numbers.insert(n);
      const QString prefix = QString::fromLatin1(kind.said) + QString::number(code) + " (";
      for (const QString& text : {ModemErrorText(en, r), ModemErrorText(cz, r)}) {
        EXPECT_TRUE(text.startsWith(prefix) && text.endsWith(')')) << text.toStdString();
        EXPECT_GT(text.size(), prefix.size() + 1);
      }
      EXPECT_NE(ModemErrorText(en, r), ModemErrorText(cz, r));
    }
  }
  // Nothing else of the catalogue lives in the table's range.
  qsizetype inRange = 0;
  for (const CatalogueEntry& e : catalogueEntries()) inRange += e.number >= 200 && e.number <= 299;
  EXPECT_EQ(inRange, numbers.size());
  EXPECT_EQ(ModemErrorText(en, Result(FinalKind::CmeError, 16)),
            QStringLiteral("+CME ERROR: 16 (incorrect PIN)"));
  EXPECT_EQ(ModemErrorText(cz, Result(FinalKind::CmeError, 16)),
            QStringLiteral("+CME ERROR: 16 (nesprávný PIN)"));
  EXPECT_EQ(ModemErrorText(en, Result(FinalKind::CmsError, 21)),
            QStringLiteral("+CMS ERROR: 21 (the network rejected the SMS)"));
}

TEST(ModemErrorText, AnythingElseReadsAsTheModemSaidIt) {
  Language en(QStringLiteral("/nonexistent"));
  const struct {
    at::FinalResult result;
    const char* text;
  } cases[] = {
      {Result(FinalKind::CmeError, 99), "+CME ERROR: 99"},
      {Result(FinalKind::CmsError, 1), "+CMS ERROR: 1"},
      {Result(FinalKind::CmeError, -1, "incorrect\tpassword\x01"),
       "+CME ERROR: incorrect password"},
      {Result(FinalKind::CmeError, -1), "+CME ERROR"},
      {Result(FinalKind::Error, -1), "ERROR"},
      {Result(FinalKind::Error, 3), "ERROR: 3"},
      {Result(FinalKind::ExtError, 16), "+EXT ERROR: 16"},
      {Result(FinalKind::CommandNotSupport, -1), "COMMAND NOT SUPPORT"},
      {Result(FinalKind::Ok, -1), "OK"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ModemErrorText(en, c.result), QString::fromLatin1(c.text));
    EXPECT_EQ(ModemErrorNumber(c.result), 0) << c.text;
  }
}

// The words go out with the language export and come back from "Lang.ini"; a file that empties
// an entry leaves the modem's own words.
TEST(ModemErrorText, WordsComeFromTheLanguageFile) {
  QTemporaryDir dir;
  Language lang(dir.path());
  lang.setLanguage(QStringLiteral("CZ"));
  ASSERT_TRUE(exportLanguage(lang, {}));
  ASSERT_TRUE(QFile::rename(exportPath(lang), dir.filePath(QStringLiteral("Lang.ini"))));
  lang.setLanguage(QStringLiteral("INI"));
  EXPECT_EQ(ModemErrorText(lang, Result(FinalKind::CmsError, 314)),
            QStringLiteral("+CMS ERROR: 314 (SIM karta je zaneprázdněna)"));

  QFile file(dir.filePath(QStringLiteral("Lang.ini")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[LangStr]\nCmeErr16=+CME ERROR: 16 (wrong PIN, see the label)\nCmeErr10= \n");
  file.close();
  lang.setLanguage(QStringLiteral("INI"));
  EXPECT_EQ(ModemErrorText(lang, Result(FinalKind::CmeError, 16)),
            QStringLiteral("+CME ERROR: 16 (wrong PIN, see the label)"));
  EXPECT_EQ(ModemErrorText(lang, Result(FinalKind::CmeError, 10)),
            QStringLiteral("+CME ERROR: 10"));
  EXPECT_EQ(ModemErrorText(lang, Result(FinalKind::CmeError, 14)),
            QStringLiteral("+CME ERROR: 14 (SIM busy)"));
}

}  // namespace
}  // namespace kolvane
