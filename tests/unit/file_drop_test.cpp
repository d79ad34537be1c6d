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
  // A drop file is taken once it has stood unchanged for a second.
  void scan() {
    SendUpFiles(t.g());
    t.clock.advance(1000);
    SendUpFiles(t.g());
  }

  StoreTestGateway t;
};

using List = QList<QByteArray>;

}  // namespace

TEST_F(FileDrop, ValidLineBecomesAJob) {
  t.write("SendUp.txt", "+420777123456\tHello there\r\n");
  SendUpFiles(t.g());
  EXPECT_TRUE(t.exists("SendUp.txt"));  // just written: its writer may not be done
  t.clock.advance(1000);
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
  t.write("SendUp.txt", "  +420111\tone\r\n\r\n777222\t  two words  \r\n+420333\tthree\r\n");
  scan();
  EXPECT_EQ(jobs(), expected);
  QFile::remove(t.path("Smtp.Tmp"));
  t.write("SendUp.txt", "\n+420111\tone\n777222\t  two words\n\n+420333\tthree\n");
  scan();
  EXPECT_EQ(jobs(), expected);
  // Mixed line ends still give one job per line.
  QFile::remove(t.path("Smtp.Tmp"));
  t.write("SendUp.txt", "+420111\tone\n777222\ttwo words\r\n+420333\tthree\n");
  scan();
  EXPECT_EQ(jobs(), expected);
}

TEST_F(FileDrop, InvalidLinesAreLoggedOnly) {
  t.gs().cfg.Debug = true;
  t.logs();
  t.write("SendUp.txt",
          "no tab here\r\n12\ttoo short\r\n+4207a7\tletter\r\n+420 777 12\tspaced\r\n" +
              QByteArray("777123\t") + QByteArray(161, 'x') + "\r\n777123\t" +
              QByteArray(160, 'y') + "\r\n");
  scan();
  EXPECT_EQ(jobs(), (List{"+42077712|spaced", "777123|" + QByteArray(160, 'y')}));
  // The text too long for one SMS goes back to this PC's mailbox, naming why.
  ASSERT_EQ(t.records("Pop3.Tmp").size(), 1);
  EXPECT_TRUE(t.records("Pop3.Tmp")[0].Subj.startsWith(
      "Undispatched SMS:  (message is longer than 160 characters) send time "));
  const auto log = sentOut();
  ASSERT_EQ(log.size(), 6);
  EXPECT_EQ(log[0], "\t!!!Error!!! no tab here");
  EXPECT_EQ(log[1], "12\t!!!Error!!! too short");
  EXPECT_EQ(log[2], "+4207a7\t!!!Error!!! letter");
  EXPECT_EQ(log[3], "+42077712\tspaced");
  EXPECT_TRUE(log[4].startsWith("777123\t!!!Error!!! xxx"));
  EXPECT_EQ(t.logs().first(), "SendUp -> |no tab here|");
}

TEST_F(FileDrop, LinesAreReadAsUtf8OrTheMailCharsetAndConvertedAsMailIs) {
  const QByteArray czech = "P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD";
  const struct {
    QByteArray line;
    bool ucs2Permit;
    QByteArray job;
  } cases[] = {
      {"777123\t" + czech, false, "777123|Prilis zlutoucky"},
      {"777123\t" + czech, true, "777123|" + czech},
      // Not UTF-8: the mail charset's bytes.
      {"777123\tP\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD", true, "777123|" + czech},
      {"777123\ta@b_c{d}=1?", false, "777123|a@b_c{d}=1?"},
      {"777123\t. .ok", false, "777123|. .ok"},
      {"777123\t..two dots", false, "777123|..two dots"},
  };
  t.gs().cfg.EmlSmsChConv = QStringLiteral("windows-1250");
  for (const auto& c : cases) {
    QFile::remove(t.path("Smtp.Tmp"));
    t.gs().cfg.SendUCS2SmsPermit = c.ucs2Permit;
    t.write("SendUp.txt", c.line + "\r\n");
    scan();
    EXPECT_EQ(jobs(), List{c.job}) << c.line.constData();
  }
}

TEST_F(FileDrop, LeftoverWorkingCopyIsSentFirst) {
  t.write("SendUp.tmp", "777111\tinterrupted\r\n");
  t.write("SendUp.txt", "777222\tnew\r\n");
  scan();
  EXPECT_FALSE(t.exists("SendUp.tmp"));
  EXPECT_FALSE(t.exists("SendUp.txt"));
  EXPECT_EQ(jobs(), (List{"777111|interrupted", "777222|new"}));
}

TEST_F(FileDrop, OnlyWhatItsWriterIsDoneWithIsTaken) {
  // An unfinished last line stays in the drop file for the next scan.
  t.write("SendUp.txt", "777111\tone\r\n777222\tHello wor");
  scan();
  EXPECT_EQ(jobs(), List{"777111|one"});
  EXPECT_EQ(t.read("SendUp.txt"), "777222\tHello wor");
  t.append("SendUp.txt", "ld\r\n777333\tthree\r\n");
  scan();
  EXPECT_EQ(jobs(), (List{"777111|one", "777222|Hello world", "777333|three"}));

  // One that is never finished goes once it stood so from one scan to the next.
  t.write("SendUp.txt", "777444\tno line end");
  scan();
  EXPECT_TRUE(t.exists("SendUp.txt"));
  t.clock.advance(10000);
  SendUpFiles(t.g());
  EXPECT_EQ(jobs().value(3), "777444|no line end");
  EXPECT_FALSE(t.exists("SendUp.txt"));

  // A file its writer still holds open for writing waits.
  QFile writer(t.path("SendUp.txt"));
  ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Append));
  writer.write("777555\tfive\r\n");
  writer.flush();
  scan();
  t.clock.advance(10000);
  SendUpFiles(t.g());
  EXPECT_EQ(jobs().size(), 4);
  writer.close();
  SendUpFiles(t.g());
  EXPECT_EQ(jobs().value(4), "777555|five");
}

TEST_F(FileDrop, HeldMailStoreKeepsTheLinesUntilTheirJobsAreWritten) {
  t.write("SendUp.txt", "777111\tfirst\r\n777222\tsecond\r\n");
  {
    ExclusiveFile holder(t.path("Smtp.Tmp"));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite | QIODevice::Append));
    scan();
    EXPECT_EQ(t.read("SendUp.tmp"), "777111\tfirst\r\n777222\tsecond\r\n");
    EXPECT_EQ(t.read("Smtp.Tmp"), "");
    EXPECT_TRUE(t.gs().StoreAppends.items.empty());  // nothing waits in memory only
  }
  SendUpFiles(t.g());
  EXPECT_FALSE(t.exists("SendUp.tmp"));
  EXPECT_EQ(jobs(), (List{"777111|first", "777222|second"}));
  EXPECT_EQ(t.records("Smtp.Tmp")[1].PosID, "260201000001");
}

TEST_F(FileDrop, ShortNumbersStayAsWritten) {
  // Three characters are a valid number; the subject's date must not stand in for it.
  t.write("SendUp.txt", "112\tHelp\r\n+42\tplus\r\n");
  scan();
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
    scan();
    EXPECT_EQ(t.read("SendUp.tmp"), c.left);
    EXPECT_FALSE(t.exists("SendUp.txt"));
    EXPECT_TRUE(t.logs().contains("Error on processing SendUp.txt"));
    EXPECT_EQ(sentFirst(), sentBefore);  // not reported as sent

    QDir(t.path("")).rmdir("Smtp.Tmp");
    SendUpFiles(t.g());
    EXPECT_EQ(jobs(), (List{"777111|first", "777222|second"}));
    EXPECT_FALSE(t.exists("SendUp.tmp"));
    QFile::remove(t.path("Smtp.Tmp"));
  }
}
