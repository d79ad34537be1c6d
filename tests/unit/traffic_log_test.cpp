#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "log/traffic_log_format.h"
#include "log/traffic_logs.h"

namespace kolvane {
namespace {

TEST(TrafficLogNameTest, PatternsGiveNamesOnlyForKnownPrefixesAndMiddles) {
  const QDate date(2025, 3, 1);
  EXPECT_EQ(trafficFileName(QStringLiteral("Pop3_YYMM.txt"), date),
            QStringLiteral("Pop3_2503.txt"));
  EXPECT_EQ(trafficFileName(QStringLiteral("Smtp_YYMMDD.log"), date),
            QStringLiteral("Smtp_250301.log"));
  EXPECT_EQ(trafficFileName(QStringLiteral("SentOut_LOG.csv.bak"), date),
            QStringLiteral("SentOut_LOG.csv.bak"));
  EXPECT_EQ(trafficFileName(QStringLiteral("Pop3_YYYY.txt"), date), QString());
  EXPECT_EQ(trafficFileName(QStringLiteral("pop3_YYMM.txt"), date), QString());
  EXPECT_EQ(trafficFileName(QStringLiteral("Pop3_YYMM"), date), QString());
  EXPECT_EQ(trafficFileName(QStringLiteral("Other_YYMM.txt"), date), QString());
}

TEST(TrafficLogLineTest, ControlCharactersBecomeSingleSpaces) {
  EXPECT_EQ(cleanTrafficText("a\r\n\r\nb   c"), "a b c");
  EXPECT_EQ(trafficLineBytes(QDateTime(QDate(2025, 3, 1), QTime(7, 8, 9)), "+420123", "x\ty"),
            "2025-03-01 07:08:09\t+420123\tx y\r\n");
}

class TrafficLogsTest : public ::testing::Test {
 protected:
  TrafficLogsTest() { clock.setNow(QDateTime(QDate(2025, 3, 31), QTime(23, 59, 58))); }

  QByteArray read(const QString& name) const {
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

  ManualClock clock;
  QTemporaryDir dir;
  TrafficLogs logs{clock, dir.path()};
};

TEST_F(TrafficLogsTest, DefaultPatternsWriteMonthlyFilesAndFollowTheDate) {
  TrafficLogMasks masks;
  logs.configure(masks);
  logs.trafficLine(masks.Pop3TxtMask, "+420111", "in");
  TrafficLogFile file = logs.open(masks.SentOutTxtMask);
  file.write("1", "a");
  file.write("2", "b");
  file.close();
  clock.advance(3000);
  logs.trafficLine(masks.Pop3TxtMask, "+420111", "april");
  EXPECT_EQ(files(), (QStringList{"Pop3_2503.txt", "Pop3_2504.txt", "SentOut_2503.txt"}));
  EXPECT_EQ(read("Pop3_2503.txt"), "2025-03-31 23:59:58\t+420111\tin\r\n");
  EXPECT_EQ(read("Pop3_2504.txt"), "2025-04-01 00:00:01\t+420111\tapril\r\n");
  EXPECT_EQ(read("SentOut_2503.txt").count("\r\n"), 2);
}

TEST_F(TrafficLogsTest, LogPatternKeepsOneFileAndUnusablePatternsWriteNothing) {
  TrafficLogMasks masks;
  masks.Pop3TxtMask = QStringLiteral("Pop3_LOG.csv");
  masks.SmtpTxtMask = QStringLiteral("Pop3_YYYY.txt");
  masks.SentOutTxtMask = QStringLiteral("SentOut_YYMM");
  logs.configure(masks);
  logs.trafficLine(masks.Pop3TxtMask, "a", "1");
  clock.advance(3000);
  logs.trafficLine(masks.Pop3TxtMask, "b", "2");
  logs.trafficLine(masks.SmtpTxtMask, "c", "3");
  logs.trafficLine(masks.SentOutTxtMask, "d", "4");
  EXPECT_FALSE(logs.open(QStringLiteral("Pop3_YYMM.txt")).isOpen());  // not configured
  EXPECT_EQ(files(), QStringList{"Pop3_LOG.csv"});
  EXPECT_EQ(read("Pop3_LOG.csv").count("\r\n"), 2);
}

}  // namespace
}  // namespace kolvane
