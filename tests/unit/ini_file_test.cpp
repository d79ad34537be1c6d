#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/exclusive_file.h"
#include "platform/ini_file.h"
#include "platform/ini_text.h"
#include "platform/regional.h"

using namespace kolvane;

namespace {
QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}
}  // namespace

TEST(IniText, NamesMatchWithoutRegardToCaseAndFirstOccurrenceWins) {
  const IniText ini = IniText::parse(
      "[cfg]\r\n Debug = 1 \r\nDEBUG=0\r\nName=\"quoted value\"\r\n[Other]\r\nX=1\r\n[CFG]\r\n"
      "Late=2\r\n");
  EXPECT_EQ(ini.value("CFG", "debug"), "1");
  EXPECT_EQ(ini.value("Cfg", "NAME"), "quoted value");
  // A repeated section is not read, as with the Windows profile functions.
  EXPECT_FALSE(ini.value("CFG", "Late").has_value());
  EXPECT_EQ(ini.sections(), (QStringList{"cfg", "Other"}));
  EXPECT_EQ(ini.keys("CFG"), (QStringList{"Debug", "Name"}));
  EXPECT_FALSE(ini.value("Missing", "X").has_value());
}

TEST(IniText, EditsKeepCommentsUnknownKeysAndLayout) {
  IniText ini = IniText::parse(
      "; my comment\n[CFG]\nUnknownKey=keep me\nSmtpPort=25\n\n[AliasComp]\nA0=pc1\n");
  ini.setValue("cfg", "smtpport", "2525");
  ini.setValue("CFG", "NewKey", "v");
  ini.setValue("Fresh", "K", "1");
  ini.eraseSection("AliasComp");
  EXPECT_EQ(ini.toString(),
            "; my comment\n[CFG]\nUnknownKey=keep me\nSmtpPort=2525\nNewKey=v\n\n[Fresh]\nK=1\n");
}

TEST(IniText, MergeWritesEveryKeyOver) {
  IniText block = IniText::parse("[CFG]\nA=block\nB=block\n");
  block.mergeFrom(IniText::parse("[cfg]\nb=file\nC=file\n[X]\nY=1\n"));
  EXPECT_EQ(block.value("CFG", "A"), "block");
  EXPECT_EQ(block.value("CFG", "B"), "file");
  EXPECT_EQ(block.value("CFG", "C"), "file");
  EXPECT_EQ(block.value("X", "Y"), "1");
}

TEST(IniFile, WritesReachTheFileAtOnceAndLeaveTheRestAlone) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Kolvane.ini");
  writeAll(path, "; hand comment\r\n[CFG]\r\nHandKey=x\r\nUserName=old\r\n");
  IniFile ini(path);
  ASSERT_TRUE(ini.setValue("CFG", "UserName", "new"));
  EXPECT_EQ(readAll(path), "; hand comment\r\n[CFG]\r\nHandKey=x\r\nUserName=new\r\n");
  // A hand edit made while the program runs is seen and kept.
  writeAll(path, readAll(path) + "Edited=1\r\n");
  ASSERT_TRUE(ini.setValue("CFG", "SmtpPort", "25"));
  EXPECT_EQ(ini.value("CFG", "Edited"), "1");
  EXPECT_TRUE(readAll(path).endsWith("Edited=1\r\nSmtpPort=25\r\n"));
}

TEST(IniFile, Utf16FileRoundTrip) {
  QTemporaryDir dir;
  IniFile ini(dir.filePath("Lang.ini"), IniFile::Encoding::Utf16Le);
  ASSERT_TRUE(ini.setValue("LangStr", "Sent", "Odesláno"));
  EXPECT_TRUE(readAll(ini.path()).startsWith("\xFF\xFE"));
  EXPECT_EQ(ini.value("LangStr", "sent"), "Odesláno");
}

TEST(IniFile, UntouchedLinesKeepTheirBytesAndEightBitValuesRead) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Kolvane.ini");
  // "; Poznámka" and "Jméno" in Windows-1250, a UTF-8 value, a bare CR, no final line break.
  const QByteArray cp1250Comment("; Pozn\xE1mka \x9A\x9E");
  const QByteArray before = cp1250Comment +
                            "\r\n[CFG]\r\nUserName=Jm\xE9no\r\nBasketName=Ko\xC5\xA1\r\n"
                            "Odd=a\rb\r\nSmtpPort=25";
  writeAll(path, before);
  IniFile ini(path);
  EXPECT_EQ(ini.value("CFG", "UserName"), QString::fromUtf8("Jméno"));
  EXPECT_EQ(ini.value("CFG", "BasketName"), QString::fromUtf8("Koš"));
  ASSERT_TRUE(ini.update([](IniText& t) {
    t.setValue("CFG", "UserName", QString::fromUtf8("Jméno"));  // same value: same bytes
    t.setValue("CFG", "SmtpPort", "2525");
  }));
  const QByteArray after = readAll(path);
  EXPECT_TRUE(after.startsWith(cp1250Comment + "\r\n[CFG]\r\nUserName=Jm\xE9no\r\n"
                                               "BasketName=Ko\xC5\xA1\r\nOdd=a\r\nb\r\n"))
      << after.toHex().constData();
  EXPECT_TRUE(after.endsWith("SmtpPort=2525\r\n"));
}

TEST(IniFile, SaveIsAtomicAndAFileThatIsNoIniTextIsNeverWritten) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Kolvane.ini");
  const struct {
    QByteArray bytes;
    bool text;
  } cases[] = {
      {"[CFG]\r\nA=1\r\n", true},
      {QByteArray("\xFF\xFE[\0C\0F\0G\0]\0", 12), false},
      {QByteArray("[CFG]\r\nA=\x01\x02\x03\x04\x05\x06", 14), false},
  };
  for (const auto& c : cases) {
    writeAll(path, c.bytes);
    QStringList failures;
    IniFile ini(path);
    ini.setFailureLog([&](const QString& line) { failures << line; });
    EXPECT_EQ(ini.unreadable(), !c.text);
    EXPECT_EQ(ini.setValue("CFG", "B", "2"), c.text);
    EXPECT_EQ(ini.setValue("CFG", "B", "3"), c.text);
    if (!c.text) {
      EXPECT_EQ(readAll(path), c.bytes);
      EXPECT_EQ(failures.size(), 1);  // reported once, not at every save
      EXPECT_TRUE(ini.read().isEmpty());
    }
  }
  // A temporary file that cannot be made: the save fails, is logged, the old file stays.
  writeAll(path, "[CFG]\r\nA=1\r\n");
  ASSERT_TRUE(QDir(dir.path()).mkdir("Kolvane.ini.tmp"));
  QStringList failures;
  IniFile ini(path);
  ini.setFailureLog([&](const QString& line) { failures << line; });
  EXPECT_FALSE(ini.setValue("CFG", "A", "2"));
  EXPECT_EQ(readAll(path), "[CFG]\r\nA=1\r\n");
  EXPECT_EQ(failures, QStringList{"!!! Kolvane.ini - write failed, old file kept !!!"});
}

TEST(IniFile, AReadOnlyFileIsLeftAsItIsAndToldOnce) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Kolvane.ini");
  writeAll(path, "[CFG]\nDebug=0\n");
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
  IniFile ini(path);
  int told = 0;
  ini.setReadOnlyNotice([&told] { ++told; });
  QStringList failures;
  ini.setFailureLog([&failures](const QString& line) { failures << line; });
  EXPECT_FALSE(ini.writable());
  EXPECT_FALSE(ini.setValue("CFG", "Debug", "1"));
  EXPECT_FALSE(ini.setValue("CFG", "Other", "2"));
  EXPECT_EQ(told, 1);
  EXPECT_TRUE(failures.isEmpty());
  EXPECT_EQ(readAll(path), "[CFG]\nDebug=0\n");
  EXPECT_EQ((QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteOther)).toInt(), 0);
  // Made writable again, the next write goes through.
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
  EXPECT_TRUE(ini.writable());
  EXPECT_TRUE(ini.setValue("CFG", "Debug", "1"));
  EXPECT_EQ(ini.value("CFG", "Debug"), "1");
}

TEST(ExclusiveFile, SecondOpenFailsWhileHeldAndTruncationWaitsForTheLock) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Smtp.Tmp");
  writeAll(path, "record");
  ExclusiveFile first(path);
  ASSERT_TRUE(first.open(QIODevice::ReadWrite));
  ExclusiveFile second(path);
  EXPECT_FALSE(second.open(QIODevice::WriteOnly | QIODevice::Truncate));
  EXPECT_EQ(second.error(), ExclusiveFile::OpenError::Busy);
  EXPECT_EQ(readAll(path), "record");
  first.close();
  EXPECT_TRUE(second.open(QIODevice::WriteOnly | QIODevice::Append));
  ExclusiveFile missing(dir.filePath("none"));
  EXPECT_FALSE(missing.open(QIODevice::ReadOnly));
  EXPECT_EQ(missing.error(), ExclusiveFile::OpenError::NotFound);
}

TEST(Regional, WrittenValuesReadBack) {
  for (double v : {5.0, 0.1, 1000.0, 46000.123456789, -2.5}) {
    EXPECT_EQ(regional::parseReal(regional::formatReal(v)), v);
  }
  EXPECT_FALSE(regional::parseReal("five").has_value());
  const DateTime when = toDateTime(QDateTime(QDate(2026, 12, 9), QTime(23, 59, 58)));
  const auto back = regional::parseDateTime(regional::formatDateTime(when));
  ASSERT_TRUE(back.has_value());
  EXPECT_NEAR(*back, when, 1.0 / 86400.0 / 2);
  // Years far from now keep their century.
  const DateTime old = toDateTime(QDateTime(QDate(1999, 1, 2), QTime(3, 4, 5)));
  EXPECT_NEAR(*regional::parseDateTime(regional::formatDateTime(old)), old, 1e-6);
  EXPECT_FALSE(regional::parseDateTime("yesterday").has_value());
}
