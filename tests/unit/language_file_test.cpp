#include "settings/language_file.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "settings/caption_texts.h"
#include "settings/language.h"

namespace kolvane {
namespace {

// A program folder with a "Lang.ini" written as the exports are (UTF-16LE with mark).
class LanguageFileTest : public ::testing::Test {
 protected:
  void writeLangIni(const QString& text) { writeBytes(utf16(text)); }
  void writeBytes(const QByteArray& bytes) {
    QFile f(dir_.filePath(QStringLiteral("Lang.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  static QByteArray utf16(const QString& text) {
    QStringEncoder encode(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encode(text);
  }
  Language iniLanguage() {
    Language lang(dir_.path());
    lang.setLanguage(QStringLiteral("INI"));
    return lang;
  }

  QTemporaryDir dir_;
};

TEST_F(LanguageFileTest, OverrideReplacesEnglishOnlyUnderIni) {
  writeLangIni(
      QStringLiteral("\r\n[LangStr]\r\nFolCont=Obsah :\r\nSmtpFail=Mail server down\r\n"
                     "gsmstatus=S\r\n"));
  Language lang = iniLanguage();
  EXPECT_EQ(lang.Text(106), QStringLiteral("Mail server down"));
  EXPECT_EQ(lang.Text(1), QStringLiteral("Obsah :")) << "the first key overrides too";
  EXPECT_EQ(lang.Text(58), QStringLiteral("S")) << "one character, key matched without case";
  EXPECT_EQ(lang.Text(107), QStringLiteral("POP3 server failed")) << "no entry: English";
  lang.setLanguage(QStringLiteral("EN"));
  EXPECT_EQ(lang.Text(106), QStringLiteral("SMTP server failed"));
}

TEST_F(LanguageFileTest, NumberedLinesJoinWithOneCr) {
  writeLangIni(
      QStringLiteral("[LangStr]\nOldNoErsReAdm_1=Line one %s\nOldNoErsReAdm_2=Line two\n"
                     "OldNoErsReAdm_4=not reached\n"
                     "DirNoCreReAdm_1=x\n"  // "x\r" is two characters: no override
                     "GSMSignal_1=ab\n"));  // "ab\r" is three: override "ab"
  const Language lang = iniLanguage();
  EXPECT_EQ(lang.Text(66), QStringLiteral("Line one %s\rLine two"));
  EXPECT_EQ(
      lang.Text(67),
      QStringLiteral("Directory %s cannot be created\rPlease, Re-run program as administrator."));
  EXPECT_EQ(lang.Text(57), QStringLiteral("ab"));
}

TEST_F(LanguageFileTest, ReloadStartsFromScratch) {
  writeLangIni(QStringLiteral("[LangStr]\nSmtpFail=first\n"));
  Language lang = iniLanguage();
  EXPECT_EQ(lang.Text(106), QStringLiteral("first"));
  writeLangIni(QStringLiteral("[LangStr]\nPop3Fail=second\n"));
  lang.setLanguage(QStringLiteral("btnINI"));
  EXPECT_EQ(lang.Text(106), QStringLiteral("SMTP server failed"));
  EXPECT_EQ(lang.Text(107), QStringLiteral("second"));
}

TEST_F(LanguageFileTest, MissingOrBrokenFileGivesEnglish) {
  const Language missing = iniLanguage();
  EXPECT_EQ(missing.Text(106), QStringLiteral("SMTP server failed"));

  // UTF-8 without mark, as a text editor may save it, is read as well.
  writeBytes(QStringLiteral("[LangStr]\nSmtpFail=Chyba serveru ě\n").toUtf8());
  EXPECT_EQ(iniLanguage().Text(106), QStringLiteral("Chyba serveru ě"));

  QByteArray noise(70000, '\0');
  QRandomGenerator gen(42);
  for (char& c : noise) c = static_cast<char>(gen.bounded(256));
  writeBytes(QByteArray::fromHex("FFFE") + noise + QByteArray::fromHex("FFFE"));
  EXPECT_FALSE(iniLanguage().Text(106).isEmpty());  // read without crashing

  writeBytes(QByteArray(2 * 1024 * 1024, '\n'));  // far too large for a language file
  EXPECT_EQ(iniLanguage().Text(106), QStringLiteral("SMTP server failed"));
}

TEST_F(LanguageFileTest, CaptionsUnderIniReadFormSections) {
  writeLangIni(
      QStringLiteral("[FMain]\nLaMa1=Brána\n[FCfg]\ntv1_4=Long one\nSgAs1_1_0=Alias\n"
                     "[FInst]\nLiHint_01=first\nLiHint_02=\nLiHint_03=third\n"
                     "LiHint_05=not reached\nLiLi1_01=ignored\n"));
  const Language lang = iniLanguage();
  QHash<QString, CaptionText> byKey;
  for (const CaptionText& c : captionTexts(lang)) {
    byKey.insert(QString::fromLatin1(c.entry->form) + QLatin1Char('.') + captionKey(*c.entry), c);
  }
  EXPECT_EQ(byKey[QStringLiteral("FMain.LaMa1")].text, QStringLiteral("Brána"));
  EXPECT_EQ(byKey[QStringLiteral("FMain.BtMa2")].text, QStringLiteral("More setting"));
  EXPECT_EQ(byKey[QStringLiteral("FCfg.tv1_4")].text, QStringLiteral("Long one"));
  EXPECT_EQ(byKey[QStringLiteral("FCfg.SgAs1_1_0")].text, QStringLiteral("Alias"));
  EXPECT_EQ(byKey[QStringLiteral("FCfg.SgAs1_0_0")].text, QStringLiteral("Computer name"));
  EXPECT_EQ(byKey[QStringLiteral("FInst.LiHint")].items,
            QStringList({QStringLiteral("first"), QString(), QStringLiteral("third")}));
  EXPECT_TRUE(byKey[QStringLiteral("FInst.LiLi1")].keep);
  EXPECT_EQ(captionText(lang, QStringLiteral("fSiSend"), QStringLiteral("LaTelNo")),
            QStringLiteral("Telephone number"));

  // A list the file does not hold keeps its English lines.
  writeLangIni(QStringLiteral("[LangStr]\nSmtpFail=x\n"));
  for (const CaptionText& c : captionTexts(iniLanguage())) {
    if (QLatin1String(c.entry->control) != QLatin1String("LiHint")) continue;
    ASSERT_EQ(c.items.size(), 10);
    EXPECT_EQ(c.items[3], QStringLiteral(" "));
  }
}

TEST(CaptionTable, KeysAreUniquePerForm) {
  QSet<QString> seen;
  for (const CaptionEntry& e : captionEntries()) {
    const QString key = (QString::fromLatin1(e.form) + QLatin1Char('.') + captionKey(e)).toLower();
    EXPECT_FALSE(seen.contains(key)) << key.toStdString();
    seen.insert(key);
    EXPECT_EQ(e.page != nullptr, e.target == CaptionTarget::TreeNode);
    EXPECT_NE(QString::fromUtf8(e.czech), QString()) << key.toStdString();
  }
  EXPECT_FALSE(seen.contains(QStringLiteral("fcfg.tv1_1"))) << "node 1 is not translated";
  EXPECT_TRUE(seen.contains(QStringLiteral("fsisend.btsend")));
}

}  // namespace
}  // namespace kolvane
