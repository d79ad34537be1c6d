#include <gtest/gtest.h>

#include <QDir>
#include <algorithm>

#include "core/file_drop.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "platform/exclusive_file.h"
#include "store_test_gateway.h"

using namespace kolvane;

namespace {

class FileDrop : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(t.started); }

  // Telephone number and decoded text of every job of the mail store.
  QList<QByteArray> jobs() {
    QList<QByteArray> out;
    for (const tMailRec& r : t.records("Smtp.Tmp")) out << r.TelNo + "|" + QpDecode(r.MimeBody);
    return out;
  }
  QList<QByteArray> sentOut() { return t.traffic(t.gs().cfg.SentOutTxtMask); }

  StoreTestGateway t;
};

using List = QList<QByteArray>;

}  // namespace

TEST_F(FileDrop, ValidLineBecomesAJob) {
  t.write("SendUp.txt", "+420777123456\tHello there\r\n");
  SendUpFiles(t.g());
  const auto recs = t.records("Smtp.Tmp");
  ASSERT_EQ(recs.size(), 1);
  EXPECT_EQ(recs[0].PosID, "260201000000");
  EXPECT_EQ(recs[0].NamePC, "localhost");
  EXPECT_EQ(recs[0].From, "<senduptxt@kolvane.lan>");
  EXPECT_EQ(recs[0].Toe, "<sms@+420777123456.kolvane.lan>");
  EXPECT_EQ(recs[0].TelNo, "+420777123456");
  EXPECT_TRUE(recs[0].Subj.startsWith("send time "));
  EXPECT_EQ(recs[0].SendTime, 0);
  EXPECT_EQ(recs[0].MimeBody, "Hello there");
  EXPECT_EQ(sentOut(), List{"+420777123456\tHello there"});
  EXPECT_TRUE(t.gs().Lamps.smtpBits & kLampStore);
  EXPECT_FALSE(t.exists("SendUp.txt"));
  EXPECT_FALSE(t.exists("SendUp.tmp"));
}

TEST_F(FileDrop, CrLfAndLfOnlyFilesGiveTheSameJobs) {
  const List expected{"+420111|one", "777222|two words", "+420333|three"};
  t.write("SendUp.txt", "  +420111\tone\r\n\r\n777222\t  two words  \r\n+420333\tthree");
  SendUpFiles(t.g());
  EXPECT_EQ(jobs(), expected);
  QFile::remove(t.path("Smtp.Tmp"));
  t.write("SendUp.txt", "\n+420111\tone\n777222\t  two words\n\n+420333\tthree\n");
  SendUpFiles(t.g());
  EXPECT_EQ(jobs(), expected);
  // Mixed line ends still give one job per line.
  QFile::remove(t.path("Smtp.Tmp"));
  t.write("SendUp.txt", "+420111\tone\n777222\ttwo words\r\n+420333\tthree\n");
  SendUpFiles(t.g());
  EXPECT_EQ(jobs(), expected);
}

TEST_F(FileDrop, InvalidLinesAreLoggedOnly) {
  t.gs().cfg.Debug = true;
  t.logs();
  t.write("SendUp.txt",
          "no tab here\r\n12\ttoo short\r\n+4207a7\tletter\r\n+420 777 12\tspaced\r\n" +
              QByteArray("777123\t") + QByteArray(161, 'x') + "\r\n777123\t" +
              QByteArray(160, 'y') + "\r\n");
  SendUpFiles(t.g());
  EXPECT_EQ(jobs(), (List{"+42077712|spaced", "777123|" + QByteArray(160, 'y')}));
  const auto log = sentOut();
  ASSERT_EQ(log.size(), 6);
  EXPECT_EQ(log[0], "\t!!!Error!!! no tab here");
  EXPECT_EQ(log[1], "12\t!!!Error!!! too short");
  EXPECT_EQ(log[2], "+4207a7\t!!!Error!!! letter");
  EXPECT_EQ(log[3], "+42077712\tspaced");
  EXPECT_TRUE(log[4].startsWith("777123\t!!!Error!!! xxx"));
  EXPECT_EQ(t.logs().first(), "SendUp -> |no tab here|");
}

TEST_F(FileDrop, CharactersOutsideThePlainSetBecomeDashes) {
  // The letter with a diacritic is two bytes of UTF-8: two dashes.
  t.write("SendUp.txt", "777123\ta@b_c\xC3\xA9{d}=1?\r\n");
  SendUpFiles(t.g());
  EXPECT_EQ(jobs(), List{"777123|a-b-c---d-=1?"});
  EXPECT_EQ(t.records("Smtp.Tmp")[0].MimeBody, "a-b-c---d-=3D1?");
}

TEST_F(FileDrop, LeftoverWorkingCopyIsDroppedFirst) {
  t.write("SendUp.tmp", "777111\tinterrupted\r\n");
  t.write("SendUp.txt", "777222\tnew\r\n");
  SendUpFiles(t.g());
  EXPECT_FALSE(t.exists("SendUp.tmp"));
  EXPECT_TRUE(t.exists("SendUp.txt"));
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
  SendUpFiles(t.g());
  EXPECT_EQ(jobs(), List{"777222|new"});
}

TEST_F(FileDrop, HeldMailStoreKeepsTheJobsForLater) {
  t.write("SendUp.txt", "777111\tfirst\r\n777222\tsecond\r\n");
  {
    ExclusiveFile holder(t.path("Smtp.Tmp"));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite | QIODevice::Append));
    SendUpFiles(t.g());
    EXPECT_FALSE(t.exists("SendUp.txt"));
    EXPECT_EQ(t.read("Smtp.Tmp"), "");
  }
  RetryPendingAppends(t.g());
  EXPECT_EQ(jobs(), (List{"777111|first", "777222|second"}));
  EXPECT_EQ(t.records("Smtp.Tmp")[1].PosID, "260201000001");
}

TEST_F(FileDrop, ShortNumbersStayAsWritten) {
  // Three characters are a valid number; the subject's date must not stand in for it.
  t.write("SendUp.txt", "112\tHelp\r\n+42\tplus\r\n");
  SendUpFiles(t.g());
  EXPECT_EQ(jobs(), (List{"112|Help", "+42|plus"}));
}

TEST_F(FileDrop, LinesTheStoreRefusesWaitForTheNextScan) {
  struct Case {
    QByteArray drop;
    QByteArray left;
  };
  const Case cases[] = {
      {"777111\tfirst\r\n777222\tsecond\r\n", "777111\tfirst\r\n777222\tsecond\r\n"},
      {"12\ttoo short\r\n777111\tfirst\n777222\tsecond\n", "777111\tfirst\n777222\tsecond\n"},
  };
  auto sentFirst = [this] {
    const List lines = sentOut();
    return std::count_if(lines.begin(), lines.end(),
                         [](const QByteArray& l) { return l.contains("first"); });
  };
  for (const Case& c : cases) {
    QDir(t.path("")).mkdir("Smtp.Tmp");  // a store that cannot be opened
    const auto sentBefore = sentFirst();
    t.write("SendUp.txt", c.drop);
    t.logs();
    SendUpFiles(t.g());
    EXPECT_EQ(t.read("SendUp.txt"), c.left);
    EXPECT_FALSE(t.exists("SendUp.tmp"));
    EXPECT_TRUE(t.logs().contains("Error on processing SendUp.txt"));
    EXPECT_EQ(sentFirst(), sentBefore);  // not reported as sent

    QDir(t.path("")).rmdir("Smtp.Tmp");
    SendUpFiles(t.g());
    EXPECT_EQ(jobs(), (List{"777111|first", "777222|second"}));
    EXPECT_FALSE(t.exists("SendUp.txt"));
    QFile::remove(t.path("Smtp.Tmp"));
  }
}
