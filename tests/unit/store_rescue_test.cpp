#include <gtest/gtest.h>

#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"
#include "mail/store_rescue.h"
#include "store_test_gateway.h"

using namespace kolvane;

namespace {

class StoreRescue : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(t.started); }
  StoreTestGateway t;
};

QByteArray whole() {
  return MailRecToStr(job("260201000000", "<+420777>", "whole"));
}

}  // namespace

TEST_F(StoreRescue, ACutRecordGoesToTheMishmashFileBeforeTheNextAppend) {
  struct Case {
    const char* what;
    QByteArray tail;  // after a whole record
    QByteArray kept;  // what the store keeps of it
    bool mishmash;
  };
  const QByteArray cut = "PosID: 260201000001\r\nNamePC: pc\r\nFrom: <a@b>\r\nTo: <+4207";
  const QByteArray noLineEnd = MailRecToStr(job("260201000001", "<+420777>", "last")).chopped(2);
  for (const Case& c : {Case{"cut in its headers", cut, {}, true},
                        Case{"only the last line end lost", noLineEnd, noLineEnd + "\r\n", false},
                        Case{"blank lines after it", "\r\n\r\n", {}, true}}) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"Smtp.Tmp", "Pop3.Tmp", "MishmashSmtp.Tmp", "MishmashPop3.Tmp"}) {
      QFile::remove(t.path(name));
    }
    t.write("Pop3.Tmp", whole() + c.tail);
    t.logs();
    ASSERT_EQ(AppendRecord(t.g(), t.path("Pop3.Tmp"), job({}, "<+420777>", "next"), true),
              AppendResult::Written);
    const auto recs = t.records("Pop3.Tmp");
    ASSERT_EQ(recs.size(), c.mishmash ? 2 : 3);
    EXPECT_EQ(recs.back().MimeBody, "next");
    EXPECT_TRUE(t.read("Pop3.Tmp").startsWith(whole() + c.kept + "PosID: "));
    EXPECT_EQ(t.read("MishmashPop3.Tmp").contains("->|" + c.tail + "|<-\r\n"), c.mishmash);
    EXPECT_EQ(t.logs(), c.mishmash
                            ? QStringList{QStringLiteral(
                                              "Pop3.Tmp ended in a record cut off (%1 bytes); they "
                                              "were moved to MishmashPop3.Tmp")
                                              .arg(c.tail.size())}
                            : QStringList{});
  }
}

TEST_F(StoreRescue, AStopKeepsWhatAHeldStoreDidNotTakeAndTheNextStartWritesItFirst) {
  t.write("Smtp.Tmp", whole());
  {
    ExclusiveFile holder(t.path("Smtp.Tmp"));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite | QIODevice::Append));
    ASSERT_EQ(AppendRecords(t.g(), t.path("Smtp.Tmp"),
                            {job({}, "<+420777>", "one"), job({}, "<+420777>", "two")}),
              AppendResult::Queued);
    ASSERT_EQ(
        AppendBytes(t.g(), t.path("Smtp.Tmp"), MailRecToStr(job("260201000007", "<+1>", "own"))),
        AppendResult::Queued);
    t.logs();
    RescuePendingAppends(t.g());
    EXPECT_TRUE(t.gs().StoreAppends.items.empty());
    EXPECT_EQ(t.logs(), QStringList{"2 writes could not reach their stores: kept in Rescue.Tmp "
                                    "for the next start"});
    // Held again at the next start: nothing is written, everything stays.
    const QByteArray rescue = t.read("Rescue.Tmp");
    RestoreRescuedAppends(t.g());
    EXPECT_EQ(t.read("Rescue.Tmp"), rescue);
    EXPECT_EQ(t.logs(), QStringList{"Rescue.Tmp: 2 writes cannot reach their stores now, kept "
                                    "for the next start"});
  }
  RestoreRescuedAppends(t.g());
  EXPECT_FALSE(t.exists("Rescue.Tmp"));
  EXPECT_EQ(t.logs(), QStringList{"Rescue.Tmp: 2 writes of the last run added to their stores"});
  QList<QByteArray> seen;
  for (const tMailRec& r : t.records("Smtp.Tmp")) seen << r.PosID + ' ' + r.MimeBody;
  EXPECT_EQ(seen, (QList<QByteArray>{"260201000000 whole", "260201000001 one", "260201000002 two",
                                     "260201000007 own"}));
}

TEST_F(StoreRescue, ARescueFileCutByACrashKeepsItsWholeBlocks) {
  t.write("Rescue.Tmp", "Rescue: Pop3.Tmp bytes 5\r\nabcde\r\nRescue: Pop3.Tmp bytes 9\r\nabc");
  RestoreRescuedAppends(t.g());
  EXPECT_EQ(t.read("Pop3.Tmp"), "abcde");
  EXPECT_TRUE(t.read("MishmashRescue.Tmp").contains("->|Rescue: Pop3.Tmp bytes 9\r\nabc|<-"));
  EXPECT_FALSE(t.exists("Rescue.Tmp"));
}
