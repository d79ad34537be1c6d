#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "log/log_memo.h"
#include "log/log_writer.h"

namespace kolvane {
namespace {

TEST(LogMemoShowTest, ControlCharactersShowAsTheirCodes) {
  EXPECT_EQ(shownText(QStringLiteral("a\r\nb\tc")), QStringLiteral("a<13><10>b<9>c"));
  EXPECT_EQ(shownText(QString(QChar(0)) + QStringLiteral(" ~ěš")), QStringLiteral("<0> ~ěš"));
}

TEST(LogMemoShowTest, MovesOnePendingLinePerCallInOrder) {
  ManualClock clock;
  QTemporaryDir dir;
  LogWriter writer(clock, dir.path());
  LogMemo memo;
  writer.Log(true, QStringLiteral("one\r\n"));
  writer.Log(true, QStringLiteral("two"));

  EXPECT_TRUE(memo.showPendingLine(writer));
  ASSERT_EQ(memo.lineCount(), 1);
  EXPECT_TRUE(memo.lines().first().endsWith(QStringLiteral("  one<13><10>")));
  EXPECT_EQ(writer.pendingCount(), 1u);
  EXPECT_TRUE(memo.showPendingLine(writer));
  EXPECT_TRUE(memo.lines().last().endsWith(QStringLiteral("  two")));
  EXPECT_FALSE(memo.showPendingLine(writer));
  EXPECT_EQ(memo.lineCount(), 2);
}

class LogMemoTrimTest : public ::testing::Test {
 protected:
  void fill(int lines) {
    ManualClock clock;
    QTemporaryDir dir;
    LogWriter writer(clock, dir.path());
    for (int i = 0; i < lines; ++i) writer.Log(true, QString::number(i));
    while (memo.showPendingLine(writer)) {
    }
  }

  LogMemo memo;
};

TEST_F(LogMemoTrimTest, TrimsOneLinePerCallOnlyWithALimitAndNoRelation) {
  fill(250);
  EXPECT_FALSE(memo.trim(0, false));
  EXPECT_FALSE(memo.trim(200, true));
  EXPECT_EQ(memo.lineCount(), 250);
  for (int second = 0; second < 50; ++second) EXPECT_TRUE(memo.trim(200, false));
  EXPECT_FALSE(memo.trim(200, false));
  ASSERT_EQ(memo.lineCount(), 200);
  EXPECT_TRUE(memo.lines().first().endsWith(QStringLiteral("  50")));
}

}  // namespace
}  // namespace kolvane
