#include "settings/language_export.h"

#include <sys/resource.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <csignal>

#include "settings/caption_texts.h"
#include "settings/catalogue.h"
#include "settings/language.h"
#include "settings/language_file.h"

namespace kolvane {
namespace {

class LanguageExportTest : public ::testing::Test {
 protected:
  LanguageExportTest() {
    dialogs_.confirmOverwrite = [this](const QString& title, const QString& text) {
      asked_ << title + QLatin1Char('|') + text;
      return answer_;
    };
    dialogs_.error = [this](const QString&, const QString& text) { errors_ << text; };
    dialogs_.info = [this](const QString&, const QString& text) { infos_ << text; };
  }
  QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  QByteArray bytesOf(const char* name) const {
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  IniText exported(const char* name) const {
    QStringDecoder decode(QStringConverter::Utf16LE);
    return IniText::parse(decode(bytesOf(name).mid(2)));
  }
  bool exportAs(const char* button) {
    return setLanguageAndExport(lang_, QString::fromLatin1(button), dialogs_);
  }

  QTemporaryDir dir_;
  Language lang_{dir_.path()};
  LanguageDialogs dialogs_;
  bool answer_ = true;
  QStringList asked_, errors_, infos_;
};

TEST_F(LanguageExportTest, EnglishExportHasHeaderLinesAndCaptions) {
  ASSERT_TRUE(exportAs("btnEN"));
  EXPECT_EQ(bytesOf("EN.ini").left(6), QByteArray::fromHex("FFFE0D000A00"));
  EXPECT_EQ(infos_,
            QStringList{QDir(dir_.path()).filePath(QStringLiteral("EN")) +
                        QStringLiteral(".ini created\rInsert custom text into a file Lang.ini")});
  const IniText ini = exported("EN.ini");
  const QString str = QStringLiteral("LangStr");
  EXPECT_EQ(ini.value(str, QStringLiteral("DirNoCreReAdm_1")),
            QStringLiteral("Directory %s cannot be created"));
  EXPECT_EQ(ini.value(str, QStringLiteral("DirNoCreReAdm_2")),
            QStringLiteral("Please, Re-run program as administrator."));
  EXPECT_FALSE(ini.hasKey(str, QStringLiteral("DirNoCreReAdm")));
  EXPECT_EQ(ini.value(str, QStringLiteral("LiIso88595_5")),
            QStringLiteral("before and since, and also outside of Soviet Ukraine."));

  // Every key belongs to an entry and none is empty: numbers without entry write nothing.
  for (const auto& [key, value] : ini.entries(str)) {
    EXPECT_FALSE(value.isEmpty()) << key.toStdString();
  }
  qsizetype lines = 0;
  for (const CatalogueEntry& e : catalogueEntries()) {
    lines += QString::fromUtf8(e.english).count(QLatin1Char('\r')) + 1;
  }
  EXPECT_EQ(ini.keys(str).size(), lines);

  EXPECT_EQ(ini.value(QStringLiteral("FMain"), QStringLiteral("LaMa1")),
            QStringLiteral("SMS and SMTP, POP3 server"));
  EXPECT_EQ(ini.value(QStringLiteral("FCfg"), QStringLiteral("tv1_4")),
            QStringLiteral("Long E-Mail"));
  EXPECT_EQ(ini.value(QStringLiteral("FCfg"), QStringLiteral("SgAs1_0_0")),
            QStringLiteral("Computer name"));
  EXPECT_EQ(ini.value(QStringLiteral("FInst"), QStringLiteral("LiHint_04")), QStringLiteral(" "));
  EXPECT_TRUE(ini.hasKey(QStringLiteral("FInst"), QStringLiteral("LiLi1_01")));
}

TEST_F(LanguageExportTest, IniExportWritesOnlyStrings) {
  QFile lang(path("Lang.ini"));
  ASSERT_TRUE(lang.open(QIODevice::WriteOnly));
  lang.write("[LangStr]\nSmtpFail=Down\n");
  lang.close();
  ASSERT_TRUE(exportAs("btnINI"));
  const IniText ini = exported("INI.ini");
  EXPECT_EQ(ini.sections(), QStringList{QStringLiteral("LangStr")});
  EXPECT_EQ(ini.value(QStringLiteral("LangStr"), QStringLiteral("SmtpFail")),
            QStringLiteral("Down"));
}

// An export renamed "Lang.ini" and chosen as INI gives back every text of its language,
// trailing blanks of the Czech texts included.
TEST_F(LanguageExportTest, ExportReadsBackUnchanged) {
  for (const char* name : {"EN", "CZ"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(exportAs(name));
    Language source(dir_.path());
    source.setLanguage(QString::fromLatin1(name));
    QFile::remove(path("Lang.ini"));
    ASSERT_TRUE(QFile::rename(exportPath(source), path("Lang.ini")));

    Language read(dir_.path());
    read.setLanguage(QStringLiteral("INI"));
    for (int n = 0; n <= kCatalogueLast + 1; ++n) EXPECT_EQ(read.Text(n), source.Text(n)) << n;

    const auto expected = captionTexts(source);
    const auto actual = captionTexts(read);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
      if (actual[i].keep) continue;  // the licence list
      EXPECT_EQ(actual[i].text, expected[i].text) << captionKey(*actual[i].entry).toStdString();
      EXPECT_EQ(actual[i].items, expected[i].items) << captionKey(*actual[i].entry).toStdString();
    }
  }
}

TEST_F(LanguageExportTest, ExistingFileIsOverwrittenOnlyWhenConfirmed) {
  QFile old(path("EN.ini"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("mine");
  old.close();

  answer_ = false;
  EXPECT_FALSE(exportAs("btnEN"));
  EXPECT_EQ(asked_, QStringList{QStringLiteral("Kolvane|File exists:\r") + path("EN.ini") +
                                QStringLiteral("\roverwrite the file ?")});
  EXPECT_EQ(bytesOf("EN.ini"), QByteArray("mine"));
  EXPECT_TRUE(infos_.isEmpty());

  dialogs_.confirmOverwrite = nullptr;  // headless without a question: keep the file
  EXPECT_FALSE(exportAs("btnEN"));
  EXPECT_EQ(bytesOf("EN.ini"), QByteArray("mine"));

  lang_.setLanguage(QStringLiteral("CZ"));
  answer_ = true;
  dialogs_.confirmOverwrite = [this](const QString&, const QString& text) {
    asked_ << text;
    return answer_;
  };
  EXPECT_TRUE(exportAs("btnEN"));
  EXPECT_TRUE(bytesOf("EN.ini").startsWith(QByteArray::fromHex("FFFE0D000A00")));
  EXPECT_EQ(lang_.id(), LanguageId::En);
}

TEST_F(LanguageExportTest, UnwritableFolderReportsError) {
  Language lang(dir_.filePath(QStringLiteral("missing")));
  lang.setLanguage(QStringLiteral("CZ"));
  EXPECT_FALSE(exportLanguage(lang, dialogs_));
  EXPECT_EQ(errors_,
            QStringList{QStringLiteral("Chyba při otevírání souboru:\r") + exportPath(lang)});
  EXPECT_EQ(lang.id(), LanguageId::Cz);
}

// The file size limit makes the writes fail part way, as a full disk would.
TEST_F(LanguageExportTest, FailedWritesAreReported) {
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  const auto exportWithLimit = [&](rlim_t bytes) {
    QFile::remove(path("EN.ini"));
    struct rlimit limit = saved;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool ok = exportLanguage(lang_, dialogs_);
    setrlimit(RLIMIT_FSIZE, &saved);
    return ok;
  };
  EXPECT_FALSE(exportWithLimit(3));
  EXPECT_FALSE(exportWithLimit(6));
  std::signal(SIGXFSZ, oldHandler);
  const QString name = path("EN.ini");
  EXPECT_EQ(errors_, QStringList({QStringLiteral("File is not unicode type:\r") + name +
                                      QStringLiteral("\roverwrite the file ?"),
                                  QStringLiteral("Error writing to file:\r") + name}));
}

}  // namespace
}  // namespace kolvane
