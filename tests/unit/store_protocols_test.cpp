#include <sys/resource.h>

#include <gtest/gtest.h>
#include <QDir>
#include <csignal>
#include <functional>

#include "mail/job_reader.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_protocols.h"
#include "mail/waiting_store_watch.h"
#include "platform/dir_change_probe.h"
#include "store_test_gateway.h"

using namespace kolvane;

namespace {

class StoreProtocols : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(t.started); }

  QByteArray newId(const QString& name) {
    auto store = FileOpenAppend(t.path(name));
    EXPECT_TRUE(store->isOpen());
    return NewPosID(t.g(), store->file());
  }
  void add(const QString& name, const tMailRec& rec) { t.append(name, MailRecToStr(rec)); }
  QList<QByteArray> ids(const QString& name) {
    QList<QByteArray> out;
    for (const tMailRec& r : t.records(name)) out << r.PosID;
    return out;
  }
  void setNow(int y, int mo, int d, int h = 10, int mi = 0) {
    t.clock.setNow(QDateTime(QDate(y, mo, d), QTime(h, mi)));
  }

  StoreTestGateway t;
};

using List = QList<QByteArray>;

}  // namespace

TEST_F(StoreProtocols, NewPosIdCountsPerDayAndFile) {
  EXPECT_EQ(newId("Smtp.Tmp"), "260201000000");
  ASSERT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420777>", "a"), true),
            AppendResult::Written);
  ASSERT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420777>", "b"), true),
            AppendResult::Written);
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"260201000000", "260201000001"}));
  EXPECT_EQ(newId("Pop3.Tmp"), "260201000000");  // each file has its own sequence
  setNow(2026, 2, 2);
  EXPECT_EQ(newId("Smtp.Tmp"), "260202000000");
  EXPECT_TRUE(t.logs().isEmpty());
}

TEST_F(StoreProtocols, NewPosIdContinuesALaterDateAndLogsIt) {
  add("Smtp.Tmp", job("260202000004", "<+420777>", "a"));
  EXPECT_EQ(newId("Smtp.Tmp"), "260202000005");
  EXPECT_EQ(t.logs(), QStringList{"PosID: 260202000004 error"});
  // Labels not followed by digits are no identifiers.
  t.append("Smtp.Tmp", "PosID: 2602x1000009\r\n");
  EXPECT_EQ(newId("Smtp.Tmp"), "260202000005");
}

TEST_F(StoreProtocols, NewPosIdAfterARecordLongerThanTheTail) {
  add("Smtp.Tmp", job("260201000041", "<+420777>", "a"));
  add("Smtp.Tmp", job("260201000042", "<+420777>", QByteArray(3000, 'x')));
  EXPECT_EQ(newId("Smtp.Tmp"), "260201000043");
}

TEST_F(StoreProtocols, OnlyLabelsThatStartARecordCountAndTheSequenceStaysTwelveDigits) {
  const struct {
    QList<tMailRec> records;
    QByteArray next;
  } cases[] = {
      {{job("260201000003", "<+1234>", "PosID: 991231999999")}, "260201000004"},
      {{job("260201000003", "<+1234>", "x", "PosID: 200101000000")}, "260201000004"},
      {{job("260201000007", "<+1234>", "a"), job("260201000003", "<+1234>", "moved back")},
       "260201000008"},
      {{job("260201000005", "<+1234>", "a"), job("9912311000000", "<+1234>", "13 digits")},
       "260201000006"},
      {{job("260201999999", "<+1234>", "last of the day")}, "260202000000"},
  };
  for (const auto& c : cases) {
    QFile::remove(t.path("Pop3.Tmp"));
    for (const tMailRec& r : c.records) add("Pop3.Tmp", r);
    EXPECT_EQ(newId("Pop3.Tmp"), c.next) << c.records.last().MimeBody.constData();
  }
}

TEST_F(StoreProtocols, AppendCutShortLeavesTheStoreAsItWas) {
  add("Smtp.Tmp", job("260201000000", "<+420777>", "first"));
  const QByteArray before = t.read("Smtp.Tmp");
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  rlimit tight = limit;
  tight.rlim_cur = static_cast<rlim_t>(before.size() + 40);  // room for a part of the record
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const AppendResult result =
      AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420778>", QByteArray(200, 'y')), true);
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, AppendResult::Failed);
  EXPECT_EQ(t.read("Smtp.Tmp"), before);
  ASSERT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420778>", "next"), true),
            AppendResult::Written);
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"260201000000", "260201000001"}));
}

TEST_F(StoreProtocols, HeldStoreIsRetriedInOrder) {
  ExclusiveFile holder(t.path("Smtp.Tmp"));
  ASSERT_TRUE(holder.open(QIODevice::ReadWrite | QIODevice::Append));
  EXPECT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420777>", "first"), true),
            AppendResult::Queued);
  EXPECT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420777>", "second"), true),
            AppendResult::Queued);
  EXPECT_EQ(AppendRecord(t.g(), t.path("Pop3.Tmp"), job("1", "<+420777>", "other"), false),
            AppendResult::Written);
  RetryPendingAppends(t.g());
  EXPECT_EQ(t.read("Smtp.Tmp"), "");
  EXPECT_EQ(t.gs().StoreAppends.items.size(), 2u);
  holder.close();
  RetryPendingAppends(t.g());
  const auto recs = t.records("Smtp.Tmp");
  ASSERT_EQ(recs.size(), 2);
  EXPECT_EQ(recs[0].MimeBody, "first");
  EXPECT_EQ(recs[1].PosID, "260201000001");
  EXPECT_TRUE(t.gs().StoreAppends.items.empty());
}

TEST_F(StoreProtocols, HeldStoreThatThenFailsKeepsTheQueuedRecord) {
  ExclusiveFile holder(t.path("Smtp.Tmp"));
  ASSERT_TRUE(holder.open(QIODevice::ReadWrite | QIODevice::Append));
  EXPECT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420777>", "queued"), true),
            AppendResult::Queued);
  holder.close();
  ASSERT_TRUE(QFile::remove(t.path("Smtp.Tmp")));
  ASSERT_TRUE(QDir(t.path("Smtp.Tmp")).mkpath("."));  // the store cannot be opened now
  t.logs();
  RetryPendingAppends(t.g());
  RetryPendingAppends(t.g());
  EXPECT_EQ(t.logs(), QStringList{"!!! Smtp.Tmp - OpenFile fault !!!"});  // logged once
  EXPECT_EQ(t.gs().StoreAppends.items.size(), 1u);
  ASSERT_TRUE(QDir(t.path("Smtp.Tmp")).removeRecursively());
  RetryPendingAppends(t.g());
  ASSERT_EQ(t.records("Smtp.Tmp").size(), 1);
  EXPECT_EQ(t.records("Smtp.Tmp")[0].MimeBody, "queued");
  EXPECT_TRUE(t.gs().StoreAppends.items.empty());
}

TEST_F(StoreProtocols, PriHMergeWithoutMailStoreRenames) {
  add("SmtpPriH.Tmp", job("260201000000", "<+420777>", "urgent"));
  const QByteArray bytes = t.read("SmtpPriH.Tmp");
  PriHMerge(t.g());
  EXPECT_FALSE(t.exists("SmtpPriH.Tmp"));
  EXPECT_EQ(t.read("Smtp.Tmp"), bytes);
}

TEST_F(StoreProtocols, PriHMergePutsPriorityFirstAndKeepsJobsArrivingMeanwhile) {
  add("Smtp.Tmp", job("260201000000", "<+420777>", "old"));
  add("SmtpPriH.Tmp", job("260201000000", "<+420777>", "urgent"));
  PriHMerge(t.g(), [&] {
    EXPECT_FALSE(t.exists("Smtp.Tmp"));
    ASSERT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, "<+420777>", "new"), true),
              AppendResult::Written);
  });
  QList<QByteArray> bodies;
  for (const tMailRec& r : t.records("Smtp.Tmp")) bodies << r.MimeBody;
  EXPECT_EQ(bodies, (List{"urgent", "old", "new"}));
  for (const char* f : {"SmtpPriH.Tmp", "SmtpPriH.Run", "Smtp.ins", "Smtp.app"}) {
    EXPECT_FALSE(t.exists(f)) << f;
  }
  PriHMerge(t.g());  // nothing to merge
  EXPECT_EQ(t.records("Smtp.Tmp").size(), 3);
}

TEST_F(StoreProtocols, PriHMergeTakesBackWhatAnInterruptedMergeLeft) {
  // Stopped after the mail store was taken and while jobs arrived: nothing of it may be lost.
  add("SmtpPriH.Run", job("1", "<+420777>", "urgent-1"));
  add("Smtp.ins", job("2", "<+420777>", "old"));
  add("Smtp.app", job("3", "<+420777>", "meanwhile"));
  add("Smtp.Tmp", job("4", "<+420777>", "newer"));
  add("SmtpPriH.Tmp", job("5", "<+420777>", "urgent-2"));
  PriHMerge(t.g());
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"1", "5", "2", "4", "3"}));
  for (const char* f : {"SmtpPriH.Tmp", "SmtpPriH.Run", "Smtp.ins", "Smtp.app"}) {
    EXPECT_FALSE(t.exists(f)) << f;
  }
}

TEST_F(StoreProtocols, PriHMergeSetsARecordCutOffInItsRunFileAside) {
  add("SmtpPriH.Run", job("1", "<+420777>", "urgent-1"));
  const QByteArray cut = "PosID: 6\r\nNamePC: pc\r\nTo: <+42";
  t.write("SmtpPriH.Run", t.read("SmtpPriH.Run") + cut);
  add("SmtpPriH.Tmp", job("5", "<+420777>", "urgent-2"));
  add("Smtp.ins", job("2", "<+420777>", "old"));
  PriHMerge(t.g());
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"1", "5", "2"}));
  EXPECT_TRUE(t.read("MishmashSmtpPriH.Run").contains("->|" + cut + "|<-"));
}

TEST_F(StoreProtocols, SmtpRunCutKeepsMaxSmsSendNo) {
  t.gs().cfg.MaxSmsSendNo = 3;
  QByteArray run;
  for (int i = 1; i <= 5; ++i) {
    // Record 2 is longer than a read window and still counts as one.
    const QByteArray body = i == 2 ? QByteArray(2500, 'y') : QByteArray::number(i);
    run += MailRecToStr(job(QByteArray::number(i), "<+420777>", body));
  }
  t.write("Smtp.Run", run);
  SmtpRunCut(t.g());
  EXPECT_EQ(ids("Smtp.Run"), (List{"1", "2", "3"}));
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"4", "5"}));
  EXPECT_FALSE(t.exists("Smtp.Cut"));
  EXPECT_TRUE(t.gs().Lamps.smtpBits & kLampStore);

  // With a newer mail store the cut jobs follow its jobs.
  t.write("Smtp.Run", run);
  t.write("Smtp.Tmp", MailRecToStr(job("9", "<+420777>", "newer")));
  SmtpRunCut(t.g());
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"9", "4", "5"}));
  EXPECT_EQ(ids("Smtp.Run"), (List{"1", "2", "3"}));

  // Nothing beyond the limit: nothing changes.
  const QByteArray three = t.read("Smtp.Run");
  SmtpRunCut(t.g());
  EXPECT_EQ(t.read("Smtp.Run"), three);
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"9", "4", "5"}));
}

TEST_F(StoreProtocols, WaitingJobsMoveAtTheirTime) {
  add("SmtpWait.Tmp", job("260201000000", "<+420777>", "due", "SendTime 2026-02-01 09:00:00"));
  add("SmtpWait.Tmp", job("260201000001", "<+420778>", "later",
                          "SendTime 2026-02-01 12:00:00" + QByteArray(900, ' ') + "x"));
  add("SmtpWait.Tmp", job("260201000002", "<+420779>", "soon", "SendTime 2026-02-01 11:00:00"));
  PreSetTimeProc(t.g());
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"260201000000"}));
  EXPECT_EQ(ids("SmtpWait.Tmp"), (List{"260201000001", "260201000002"}));
  EXPECT_FALSE(t.exists("SmtpWait.Run"));
  EXPECT_DOUBLE_EQ(t.gs().WaitStore.WaitNextTime,
                   toDateTime(QDateTime(QDate(2026, 2, 1), QTime(11, 0))));
  EXPECT_EQ(t.gs().WaitLamp & kLampStore, kLampStore);
  EXPECT_EQ(t.traffic(t.gs().cfg.SmtpTxtMask), (List{"+420777\tdue"}));

  // Not due before WaitNextTime; due after it.
  setNow(2026, 2, 1, 10, 30);
  RunWaitingStoreIfDue(t.g());
  EXPECT_EQ(t.records("SmtpWait.Tmp").size(), 2);
  setNow(2026, 2, 1, 12, 1);
  RunWaitingStoreIfDue(t.g());
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"260201000000", "260201000001", "260201000002"}));
  EXPECT_EQ(t.records("Smtp.Tmp")[1].Subj.size(), 28 + 900 + 1);
  EXPECT_FALSE(t.exists("SmtpWait.Tmp"));
  EXPECT_EQ(t.gs().WaitLamp & kLampStore, 0);
}

TEST_F(StoreProtocols, WaitingJobsReturnedDeletedOrWithoutTime) {
  add("SmtpWait.Tmp", job("260201000000", "<+420777>", "back", "SendTime 2026-02-02 09:00:00"));
  add("SmtpWait.Tmp", job("260201000001", "<+420778>", "gone", "SendTime 2026-02-02 09:00:00"));
  add("SmtpWait.Tmp", job("260131000009", "<+420779>", "a=3Db", "no time"));
  add("Pop3.Tmp", job("260201000005", "<x>", "earlier"));
  t.gs().WaitStore.ReturnSenderID = "260201000000";
  t.gs().WaitStore.DeleteItemID = "260201000001";
  RunWaitingStoreIfDue(t.g());
  const auto pop3 = t.records("Pop3.Tmp");
  ASSERT_EQ(pop3.size(), 3);
  EXPECT_EQ(pop3[1].PosID, "260201000006");
  EXPECT_EQ(pop3[1].Subj, "Manual return SMS: SendTime 2026-02-02 09:00:00");
  EXPECT_EQ(pop3[2].PosID, "260201000007");  // PCs past the old identifier still get it
  EXPECT_EQ(pop3[2].Subj, "Undispatched SMS: no time");
  EXPECT_FALSE(t.exists("SmtpWait.Tmp"));
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
  EXPECT_TRUE(t.gs().WaitStore.ReturnSenderID.isEmpty());
  EXPECT_TRUE(t.gs().WaitStore.DeleteItemID.isEmpty());
  EXPECT_EQ(t.traffic(t.gs().cfg.Pop3TxtMask), (List{"+420777\t!Manual return SMS: !back",
                                                     "+420779\t!Undispatched SMS: !a=b(a=3Db)"}));
  EXPECT_EQ(t.traffic(t.gs().cfg.SmtpTxtMask), (List{"+420778\t!Manual delete SMS: !gone"}));
  EXPECT_TRUE(t.gs().Lamps.pop3Bits & kLampStore);
}

TEST_F(StoreProtocols, WaitingJobsStayWhileTheirNextStoreCannotTakeThem) {
  const struct {
    const char* blocked;  // a folder where the store should be: it cannot be written
    tMailRec job;
  } cases[] = {
      {"Smtp.Tmp", job("260201000000", "<+420777>", "due", "SendTime 2026-02-01 09:00:00")},
      {"Pop3.Tmp", job("260201000001", "<+420778>", "returned", "no time")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocked);
    add("SmtpWait.Tmp", c.job);
    add("SmtpWait.Tmp", job("260201000002", "<+420779>", "later", "SendTime 2026-02-03 09:00:00"));
    const QByteArray waiting = t.read("SmtpWait.Tmp");
    ASSERT_TRUE(QDir(t.path("")).mkdir(c.blocked));
    t.logs();
    PreSetTimeProc(t.g());
    PreSetTimeProc(t.g());
    // Both files as they were, the failure logged once, the jobs waiting on.
    EXPECT_EQ(t.read("SmtpWait.Run"), waiting);
    EXPECT_FALSE(t.exists("SmtpWait.Tmp"));
    EXPECT_EQ(t.logs().filter("WriteFile error").size(), 1);
    EXPECT_EQ(t.gs().WaitLamp & kLampStore, kLampStore);
    EXPECT_GT(t.gs().WaitStore.WaitNextTime, t.clock.now());

    ASSERT_TRUE(QDir(t.path("")).rmdir(c.blocked));
    PreSetTimeProc(t.g());
    EXPECT_EQ(t.records(c.blocked).size(), 1);
    EXPECT_EQ(ids("SmtpWait.Tmp"), List{"260201000002"});
    EXPECT_FALSE(t.exists("SmtpWait.Run"));
    QFile::remove(t.path("SmtpWait.Tmp"));
    QFile::remove(t.path(c.blocked));
  }
}

TEST_F(StoreProtocols, TakeOverMakesTheRunFileAndSavesItsPosition) {
  t.gs().cfg.SmtpRunPos = 777;
  t.gs().cfg.MaxSmsSendOn = true;
  t.gs().cfg.MaxSmsSendNo = 1;
  add("Smtp.Tmp", job("1", "<+420777>", "a"));
  add("Smtp.Tmp", job("2", "<+420777>", "b"));
  add("SmtpPriH.Tmp", job("3", "<+420777>", "urgent"));
  TakeOverMailStore(t.g());  // not pending: nothing happens
  EXPECT_FALSE(t.exists("Smtp.Run"));
  t.gs().StoreMovePending = true;
  TakeOverMailStore(t.g());
  EXPECT_FALSE(t.gs().StoreMovePending);
  EXPECT_EQ(ids("Smtp.Run"), (List{"3"}));
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"1", "2"}));
  EXPECT_EQ(t.gs().cfg.SmtpRunPos, 0);
  EXPECT_EQ(t.g().settingsFile()->value("CFG", "SmtpRunPos"), "0");
  EXPECT_EQ(t.gs().SmtpRunSize, -1);
}

TEST_F(StoreProtocols, FolderProbeSeesEntriesComeAndGoNotWrites) {
  DirChangeProbe probe(t.dir.path());
  EXPECT_TRUE(probe.changed());  // nothing is known at the first look
  EXPECT_FALSE(probe.changed());
  struct Step {
    std::function<void()> act;
    bool changed;
  };
  const Step steps[] = {
      {[&] { t.write("a.txt", "1"); }, true},
      {[&] { t.append("a.txt", "2"); }, false},
      {[&] { QFile::rename(t.path("a.txt"), t.path("b.txt")); }, true},
      {[&] { QFile::remove(t.path("b.txt")); }, true},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(probe.changed(), step.changed);
    EXPECT_FALSE(probe.changed());
  }
}

TEST_F(StoreProtocols, WaitingStoreWatchScansOnlyWhatCouldHaveChanged) {
  WaitingStoreWatch watch(t.dir.path());
  add("Pop3.Tmp", job("260201000005", "<x>", "kept"));
  watch.run(t.g());
  EXPECT_EQ(t.gs().Lamps.pop3Bits & kLampStore, kLampStore);
  EXPECT_EQ(t.gs().Lamps.smtpBits & kLampStore, 0);
  // Without a change of the folder the lamps are set as the scan would set them.
  t.gs().Lamps.pop3Bits = 0;
  watch.run(t.g());
  EXPECT_EQ(t.gs().Lamps.pop3Bits & kLampStore, kLampStore);
  // A waiting job written by another writer is scanned at the next run.
  add("SmtpWait.Tmp", job("260201000000", "<+420777>", "due", "SendTime 2026-02-01 09:00:00"));
  watch.run(t.g());
  EXPECT_EQ(ids("Smtp.Tmp"), (List{"260201000000"}));
  EXPECT_EQ(t.gs().Lamps.smtpBits & kLampStore, kLampStore);
  QFile::remove(t.path("Smtp.Tmp"));
  watch.run(t.g());
  EXPECT_EQ(t.gs().Lamps.smtpBits & kLampStore, 0);
}
