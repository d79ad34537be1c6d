#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "log/log_formats.h"
#include "log/log_writer.h"

namespace kolvane {
namespace {

class LogFilesTest : public ::testing::Test {
 protected:
  LogFilesTest() {
    clock.setNow(QDateTime(QDate(2025, 3, 1), QTime(8, 0, 0)));
    options.LogFiOn = true;
  }

  QString path(const QString& name) const { return dir.filePath(name); }

  void touch(const QString& name, const QByteArray& content = "x") const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

  QByteArray read(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QStringList logFiles() const {
    return QDir(dir.path()).entryList({QStringLiteral("Log*.txt")}, QDir::Files, QDir::Name);
  }

  void start() {
    writer.configure(options);
    writer.prepareLogFiles();
  }

  ManualClock clock;
  QTemporaryDir dir;
  LogOptions options;
  LogWriter writer{clock, dir.path() + QLatin1Char('/')};
};

TEST_F(LogFilesTest, StartRetiresLogTxtAndWritesEveryLineWithCrLf) {
  touch(QStringLiteral("Log.old"), "older");
  touch(QStringLiteral("Log.txt"), "previous");
  start();
  EXPECT_EQ(read(QStringLiteral("Log.old")), "previous");
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("Log.txt"))));
  EXPECT_EQ(writer.exceptReportPath(), path(QStringLiteral("ExceptReport.txt")));

  writer.Log(true, QString());
  writer.Log(false, QStringLiteral("hidden"));
  writer.Log(true, QStringLiteral("Žluťoučký"));
  const QChar sep = regionalTimeSeparator();
  const QByteArray stamp = (QStringLiteral("08") + sep + "00" + sep + "00  ").toUtf8();
  EXPECT_EQ(read(QStringLiteral("Log250301001.txt")),
            stamp + "\r\n" + stamp + "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD\r\n");
}

TEST_F(LogFilesTest, NumberingContinuesAfterHighestNumberOfTheDay) {
  touch(QStringLiteral("Log250301001.txt"));
  touch(QStringLiteral("Log250301007.txt"));
  touch(QStringLiteral("Log250301old.txt"));
  touch(QStringLiteral("Log250228009.txt"));
  start();
  EXPECT_EQ(writer.logFileName(), path(QStringLiteral("Log250301008.txt")));
}

TEST_F(LogFilesTest, NumberIsReadAfterTheWholeDateWhateverItsLength) {
  options.LogFiDateMask = QStringLiteral("YYYYMMDD");
  touch(QStringLiteral("Log20250301007.txt"));
  start();
  EXPECT_EQ(writer.logFileName(), path(QStringLiteral("Log20250301008.txt")));
}

TEST_F(LogFilesTest, FilePassingTheLimitEndsWithTheNextLineAndNewDaysStartAtOne) {
  options.LogSeekMax = 10;
  start();
  for (int i = 1; i <= 5; ++i) writer.Log(true, QString::number(i));
  clock.setNow(QDateTime(QDate(2025, 3, 2), QTime(0, 0, 1)));
  writer.Log(true, QStringLiteral("6"));
  writer.Log(true, QStringLiteral("7"));
  const QStringList files = logFiles();
  ASSERT_EQ(files, (QStringList{"Log250301001.txt", "Log250301002.txt", "Log250301003.txt",
                                "Log250302001.txt"}));
  EXPECT_EQ(read(files[0]).count("\r\n"), 2);
  EXPECT_EQ(read(files[1]).count("\r\n"), 2);
  EXPECT_TRUE(read(files[1]).endsWith("  4\r\n"));
  EXPECT_TRUE(read(files[2]).endsWith("  6\r\n"));
  EXPECT_TRUE(read(files[3]).endsWith("  7\r\n"));
}

}  // namespace
}  // namespace kolvane
