#include <gtest/gtest.h>

#include "mail/job_reader.h"
#include "mail/quoted_printable.h"
#include "platform/exclusive_file.h"
#include "store_test_gateway.h"

using namespace kolvane;

namespace {

class JobReader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.started);
    t.gs().TickBegin = 50000;
    t.gs().cfg.SendSMSDelay = 1000;
    t.g().link().GsmTimeout = 2000;
  }

  void run(const QList<tMailRec>& recs) {
    QByteArray bytes;
    for (const tMailRec& r : recs) bytes += MailRecToStr(r);
    t.write("Smtp.Run", bytes);
  }
  // What the send phase does after a job was sent.
  void sent() { AdvanceSmtpRunPos(t.g(), t.gs().SmtpRunNext); }

  StoreTestGateway t;
};

}  // namespace

TEST_F(JobReader, PlainJobInTextMode) {
  run({job("1", "<+420777123456@x>", "Hello =3D you", "Report please")});
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  const GatewayState& gs = t.gs();
  EXPECT_EQ(gs.JobTelNo, "+420777123456");
  EXPECT_EQ(gs.JobNamePC, "pc1");
  EXPECT_EQ(gs.JobSubj, "Report please");
  EXPECT_TRUE(gs.JobReport);
  EXPECT_TRUE(gs.JobOk);
  EXPECT_FALSE(gs.JobUCS2);
  EXPECT_TRUE(gs.JobWideText.isEmpty());
  EXPECT_EQ(gs.JobText, "Hello = you");
  EXPECT_EQ(gs.LastCharset, 0);
  EXPECT_TRUE(gs.JobLast);  // the only record
  EXPECT_EQ(gs.SmtpRunNext, t.read("Smtp.Run").size() - 1);
  EXPECT_EQ(gs.cfg.SmtpRunPos, 0);  // moves on only when the job is done
}

TEST_F(JobReader, TextTheMappingCannotKeepGoesAsUcs2) {
  run({job("1", "<+420777>", QpEncode("Zlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88"))});
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_TRUE(t.gs().JobUCS2);
  EXPECT_EQ(t.gs().JobWideText,
            QString::fromUtf8("Zlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88"));
  EXPECT_EQ(t.gs().JobText, "Zlutoucky kun");
  EXPECT_EQ(t.gs().LastCharset, 1);
}

TEST_F(JobReader, CodingChangesReturnTwoThenOne) {
  const QByteArray cyrillic = QpEncode("\xD0\x9F\xD1\x80\xD0\xB8");  // "При"
  run({job("1", "<+420777>", "plain"), job("2", "<+420777>", "plain too"),
       job("3", "<+420777>", cyrillic), job("4", "<+420777>", cyrillic),
       job("5", "<+420777>", "plain again")});
  QList<int> results;
  QList<bool> ucs2;
  for (int i = 0; i < 5; ++i) {
    results << ReadNextJob(t.g());
    ucs2 << t.gs().JobUCS2;
    sent();
  }
  EXPECT_EQ(results, (QList<int>{2, 1, 2, 1, 2}));
  EXPECT_EQ(ucs2, (QList<bool>{false, false, true, true, false}));
  // Within 4 bytes of the end: the send phase deletes the run file as used up.
  EXPECT_GE(t.gs().cfg.SmtpRunPos, t.read("Smtp.Run").size() - 4);
}

TEST_F(JobReader, WideTextLongerThanOneSmsIsReportedNotCut) {
  QByteArray wide;
  for (int i = 0; i < 70; ++i) wide += "\xD0\x96";  // Cyrillic capital Zhe
  run({job("1", "<+420777>", QpEncode(wide)), job("2", "<+420777>", QpEncode(wide + "\xD0\x96")),
       job("3", "<+420777>", "a{b")});
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(t.gs().JobWideText, QString(70, QChar(0x416)));
  sent();
  t.logs();
  EXPECT_EQ(ReadNextJob(t.g()), kJobReported);
  EXPECT_EQ(t.logs(),
            QStringList{"Undispatched SMS:  (message is longer than 70 characters) test"});
  EXPECT_TRUE(QpDecode(t.records("Pop3.Tmp").value(0).MimeBody).endsWith(wide + "\xD0\x96"));
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(t.gs().JobText, "a(b");  // no escape sequences in text mode
}

TEST_F(JobReader, PduModeLeavesTheCodingToTheEncoder) {
  t.gs().cfg.PDUText = false;
  run({job("1", "<+420777>", "a{b"), job("2", "<+420777>", QpEncode("\xD0\x96"))});
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(t.gs().JobText, QByteArray("a\x1B\x28"
                                       "b"));
  sent();
  EXPECT_EQ(ReadNextJob(t.g()), kJobReady);
  EXPECT_FALSE(t.gs().JobUCS2);
  EXPECT_FALSE(t.gs().JobWideText.isEmpty());
}

TEST_F(JobReader, ConcatenationHeaderIsTakenOff) {
  run({job("1", "<+420777>", QpEncode(QByteArray("\x05\x00\x03\x2A\x02\x01\x00part one", 15)))});
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(t.gs().JobLoID, 0x2A);
  EXPECT_EQ(t.gs().JobLoHi, 2);
  EXPECT_EQ(t.gs().JobLoNo, 1);
  EXPECT_EQ(t.gs().JobRawText, "part one");
}

TEST_F(JobReader, UnfitJobGoesBackAsUndispatched) {
  const QByteArray text(170, 'x');
  run({job("1", "<+420777>", text, "long one"), job("2", "<nobody@x>", "hi", "no number"),
       job("3", "<+420777>", "fine")});
  t.logs();
  EXPECT_EQ(ReadNextJob(t.g()), kJobReported);
  const std::int32_t next = t.gs().SmtpRunNext;
  EXPECT_EQ(t.gs().cfg.SmtpRunPos, next);
  EXPECT_EQ(t.g().settingsFile()->value("CFG", "SmtpRunPos"), QString::number(next));
  EXPECT_TRUE(t.gs().SendPhaseDue);
  EXPECT_EQ(t.gs().SendPhaseAt, 51000u);
  EXPECT_EQ(t.g().link().LastActTick, 53000u);
  EXPECT_EQ(ReadNextJob(t.g()), kJobReported);
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(t.gs().JobText, "fine");

  const auto pop3 = t.records("Pop3.Tmp");
  ASSERT_EQ(pop3.size(), 2);
  EXPECT_EQ(pop3[0].PosID, "260201000000");
  EXPECT_EQ(pop3[0].Subj, "Undispatched SMS: long one");
  EXPECT_TRUE(QpDecode(pop3[0].MimeBody).endsWith("Your text:\r\n" + text));
  EXPECT_EQ(pop3[1].Subj, "Undispatched SMS: no number");
  EXPECT_TRUE(QpDecode(pop3[1].MimeBody).contains("Reason: no telephone number\r\n"));
  EXPECT_EQ(t.logs(), (QStringList{"Undispatched SMS: long one", "Undispatched SMS: no number"}));
  const auto lines = t.traffic(t.gs().cfg.Pop3TxtMask);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], "+420777\t!Undispatched SMS: !" + text + "(" + text + ")");
  EXPECT_TRUE(t.gs().Lamps.pop3Bits & kLampStore);
}

TEST_F(JobReader, UnparsableChunkGoesToTheMishmashFile) {
  const QByteArray junk = "garbage without any record\r\n";
  t.write("Smtp.Run", junk + MailRecToStr(job("2", "<+420777>", "after")));
  t.logs();
  // The junk and the record after it are one chunk: the record's labels make it a job.
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(t.gs().JobText, "after");

  t.write("Smtp.Run", "PosID: 1\r\n\r\nno sender\r\n.\r\n" + junk);
  AdvanceSmtpRunPos(t.g(), 0);
  EXPECT_EQ(ReadNextJob(t.g()), kJobReported);
  EXPECT_EQ(t.logs(), QStringList{"!!! Smtp.Run - Mishmash in file !!!"});
  EXPECT_EQ(t.read("MishmashSmtp.Run"),
            "2026-02-01 10:00:00->|PosID: 1\r\n\r\nno sender\r\n.\r\n" + junk + "|<-\r\n");
  // What is left has no record end at all: the rest of the file is one chunk.
  EXPECT_EQ(ReadNextJob(t.g()), kJobReported);
  EXPECT_EQ(t.gs().cfg.SmtpRunPos, t.read("Smtp.Run").size());
  EXPECT_EQ(ReadNextJob(t.g()), kJobNoneAfterLast);
}

TEST_F(JobReader, LongRecordsAreReadWhole) {
  const QByteArray subject = "long " + QByteArray(2000, 's');
  run({job("1", "<+420777>", "first", subject), job("2", "<+420778>", "second")});
  EXPECT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(t.gs().JobSubj, subject);
  EXPECT_EQ(t.gs().JobText, "first");
  EXPECT_FALSE(t.gs().JobLast);
  sent();
  EXPECT_EQ(ReadNextJob(t.g()), kJobReady);
  EXPECT_EQ(t.gs().JobTelNo, "+420778");
  EXPECT_TRUE(t.gs().JobLast);
  EXPECT_FALSE(t.exists("MishmashSmtp.Run"));
}

TEST_F(JobReader, NothingToRead) {
  EXPECT_EQ(ReadNextJob(t.g()), kJobNone);
  EXPECT_EQ(t.logs(), QStringList{"!!! Smtp.Run - OpenFile fault !!!"});
  run({job("1", "<+420777>", "a")});
  {
    // A run file held by another program is left alone.
    ExclusiveFile holder(t.path("Smtp.Run"));
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    EXPECT_EQ(ReadNextJob(t.g()), kJobNone);
    EXPECT_TRUE(t.exists("Smtp.Run"));
  }
  AdvanceSmtpRunPos(t.g(), 100000);
  EXPECT_EQ(ReadNextJob(t.g()), kJobNone);  // read empty: done with
  EXPECT_FALSE(t.exists("Smtp.Run"));
}
