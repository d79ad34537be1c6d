#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "log/log_formats.h"
#include "log/log_writer.h"

namespace kolvane {
namespace {

class LogWriterTest : public ::testing::Test {
 protected:
  LogWriterTest() { clock.setNow(QDateTime(QDate(2025, 3, 1), QTime(10, 4, 5))); }

  static QString stamped(const QString& text) {
    const QChar sep = regionalTimeSeparator();
    return QStringLiteral("10") + sep + QStringLiteral("04") + sep + QStringLiteral("05  ") + text;
  }

  QStringList takeAll() {
    QStringList out;
    while (auto line = writer.takePendingLine()) out << *line;
    return out;
  }

  void configure(bool debug, bool exceptReport) {
    LogOptions options;
    options.Debug = debug;
    options.ExceptReport = exceptReport;
    writer.configure(options);
  }

  ManualClock clock;
  QTemporaryDir dir;
  LogWriter writer{clock, dir.path()};
};

TEST_F(LogWriterTest, ShowFlagAndDebugDecideWhatIsShownAndEchoed) {
  QStringList echoed;
  writer.setEchoSink([&](const QString& line) { echoed << line; });
  writer.Log(true, QStringLiteral("first"));
  writer.Log(true, QString());
  writer.Log(false, QStringLiteral("hidden"));
  writer.debug(QStringLiteral("trace off"));
  writer.Log8(true, QByteArrayLiteral("P\xC5\x99\xC3\xADli\xC5\xA1"));
  configure(true, false);
  writer.debug(QStringLiteral("trace on"));

  const QStringList expected{stamped("first"), stamped(""), stamped("Příliš"), stamped("trace on")};
  EXPECT_EQ(takeAll(), expected);
  EXPECT_EQ(echoed, expected);
  EXPECT_FALSE(writer.takePendingLine());
}

TEST_F(LogWriterTest, StatusLinesRepeatOnlyWhenTheirStateChangesOrAnHourPassed) {
  const QString idle = QStringLiteral("no mails");
  const QString signal = QStringLiteral("signal");
  const struct {
    std::uint32_t advanceMs;
    QString kind, text;
    bool shown;
  } steps[] = {
      {0, idle, "none to send", true},
      {5000, idle, "none to send", false},
      {0, signal, "52%", true},  // another kind has its own state
      {5000, signal, "52%", false},
      {5000, signal, "56%", true},
      {3600 * 1000 - 15001, idle, "none to send", false},
      {1, idle, "none to send", true},  // an hour after it was shown
  };
  for (const auto& s : steps) {
    clock.advance(s.advanceMs);
    writer.status(s.kind, s.text);
    EXPECT_EQ(takeAll().size(), s.shown ? 1 : 0)
        << s.kind.toStdString() << " " << s.text.toStdString();
  }
  writer.statusEnded(idle);
  writer.status(idle, "none to send");
  EXPECT_EQ(takeAll().size(), 1);
  configure(true, false);
  writer.status(idle, "none to send");
  EXPECT_EQ(takeAll().size(), 1);  // Debug shows each
}

TEST_F(LogWriterTest, HistoryRingKeepsTheLastFiftyLinesWithExceptReport) {
  writer.Log(true, QStringLiteral("not kept"));
  EXPECT_TRUE(writer.historyInReportOrder().isEmpty());

  configure(false, true);
  for (int i = 1; i <= 50; ++i) writer.Log(i % 2 == 0, QString::number(i));
  EXPECT_EQ(writer.history().nextSlot(), 51);
  EXPECT_EQ(writer.historyInReportOrder().first(), stamped("1"));

  writer.Log(false, QStringLiteral("51"));
  EXPECT_EQ(writer.history().slot(1), stamped("51"));
  EXPECT_EQ(writer.history().nextSlot(), 2);

  for (int i = 52; i <= 122; ++i) writer.Log(true, QString::number(i));
  QStringList expected;
  for (int i = 73; i <= 122; ++i) expected << stamped(QString::number(i));
  EXPECT_EQ(writer.historyInReportOrder(), expected);
}

TEST_F(LogWriterTest, ConcurrentWritersLoseAndInterleaveNothing) {
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  LogOptions options;
  options.ExceptReport = true;
  options.LogFiOn = true;
  options.LogSeekMax = 10'000'000;
  options.MeMaxLi = 0;  // 10,000 lines wait for the memo: none of these is dropped
  writer.configure(options);
  writer.prepareLogFiles();
  QStringList echoed;  // the sink runs under the writer's lock
  writer.setEchoSink([&](const QString& line) { echoed << line; });

  QStringList taken;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([this, t] {
        for (int i = 0; i < kLines; ++i) writer.Log(true, QStringLiteral("t%1 n%2").arg(t).arg(i));
      });
    }
    threads.emplace_back([&] {
      while (taken.size() < kThreads * kLines) {
        if (auto line = writer.takePendingLine()) taken << *line;
        (void)writer.historyInReportOrder();
      }
    });
  }

  EXPECT_EQ(taken, echoed);
  std::vector<int> nextOf(kThreads, 0);
  for (const QString& line : taken) {
    const int t = line.mid(11, 1).toInt();
    ASSERT_EQ(line.mid(10), QStringLiteral("t%1 n%2").arg(t).arg(nextOf[t]));
    ++nextOf[t];
  }
  QFile file(writer.logFileName());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), (taken.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

}  // namespace
}  // namespace kolvane
