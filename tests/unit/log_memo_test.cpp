#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "log/log_memo.h"
#include "log/log_options.h"
#include "log/log_writer.h"

namespace kolvane {
namespace {

TEST(LogMemoShowTest, ControlCharactersShowAsTheirCodes) {
  EXPECT_EQ(shownText(QStringLiteral("a\r\nb\tc")), QStringLiteral("a<13><10>b<9>c"));
  EXPECT_EQ(shownText(QString(QChar(0)) + QStringLiteral(" ~ěš")), QStringLiteral("<0> ~ěš"));
}

TEST(LogMemoTest, KeepsItsLimitAsLinesComeWhateverTheWindowOrTheWriterLags) {
  ManualClock clock;
  QTemporaryDir dir;
  LogWriter writer(clock, dir.path());
  LogOptions options;
  options.MeMaxLi = 200;
  writer.configure(options);
  LogMemo memo;
  writer.Log(true, QStringLiteral("one\r\n"));
  EXPECT_TRUE(memo.showPendingLines(writer, 200));
  EXPECT_TRUE(memo.lines().first().endsWith(QStringLiteral("  one<13><10>")));
  EXPECT_FALSE(memo.showPendingLines(writer, 200));
  // A burst larger than the limit: the writer keeps no more than the memo would.
  for (int i = 0; i < 1000; ++i) writer.Log(true, QString::number(i));
  EXPECT_EQ(writer.pendingCount(), 200u);
  EXPECT_TRUE(memo.showPendingLines(writer, 200));
  ASSERT_EQ(memo.lineCount(), 200);
  EXPECT_TRUE(memo.lines().first().endsWith(QStringLiteral("  800")));
  EXPECT_TRUE(memo.lines().last().endsWith(QStringLiteral("  999")));
  EXPECT_EQ(memo.addedCount() - memo.droppedCount(), 200u);
  // A lower limit set while running takes effect at once.
  EXPECT_TRUE(memo.trim(50));
  EXPECT_EQ(memo.lineCount(), 50);
}

TEST(LogMemoTest, NoLimitMeansTenThousandLines) {
  EXPECT_EQ(MemoLineLimit(0), 10000);
  EXPECT_EQ(MemoLineLimit(-5), 10000);
  EXPECT_EQ(MemoLineLimit(300), 300);
}

}  // namespace
}  // namespace kolvane
