#include <gtest/gtest.h>
#include <QDateTime>
#include <QFile>
#include <cstdlib>
#include <tuple>

#include "mail/mail_date.h"
#include "mail/pop3_dialogue_list.h"
#include "mail/pop3_expire.h"
#include "mail/pop3_received.h"
#include "mail/pop3_render.h"
#include "mail/pop3_routing.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "store_test_gateway.h"

using namespace kolvane;

namespace {

tMailRec pop3Record(const QByteArray& id, const QByteArray& namePc) {
  tMailRec r;
  r.PosID = id;
  r.NamePC = namePc;
  r.From = "<+420777111222@kolvane.lan>";
  r.Toe = "<kolvane>";
  r.Subj = "SMS from phone No.: +420777111222";
  r.MimeBody = "Hello=0D=0Aworld";
  return r;
}

}  // namespace

TEST(Pop3Routing, RouteMarkNearTheStartNamesKnownPcs) {
  StoreTestGateway t;
  // Known PCs: a client of a mail server, an alias table entry, the basket PC.
  t.g().hooks().knownClientPc = [](const QString& name) { return name == "PC7"; };
  t.gs().Aliases = {{"Pc8", "SALES"}, {"$OFFICE", ""}};
  t.gs().cfg.BasketName = "boss";
  const struct {
    const char* text;
    const char* names;
  } cases[] = {
      {"#PC7#hello", "PC7"},
      {"ab#PC7,PC8#x", "PC7,PC8"},  // first mark third character
      {"abcd#PC7#x", ""},           // fifth: for everybody
      {"##PC7#", ""},               // no name between the marks
      {"#PC7 without end", ""},
      {"#1 priority: call me back #urgent", ""},  // no such PC: for everybody
      {"#PC9,PC7,SALES#x", "PC7"},                // aliases only count with AliasOn
      {"#BOSS#x", "BOSS"},
  };
  for (const auto& c : cases) EXPECT_EQ(RouteNames(t.g(), "+1", c.text), c.names) << c.text;
  t.gs().cfg.AliasOn = true;
  EXPECT_EQ(RouteNames(t.g(), "+1", "#SALES#x"), "SALES");
  t.gs().cfg.RouteMark = "$$";
  EXPECT_EQ(RouteNames(t.g(), "+1", "$$OFFICE$$x"), "$OFFICE");
}

TEST(Pop3Routing, RepliesGoBackToThePcThatSentTheMailUntilTheTimeOut) {
  StoreTestGateway t;
  t.gs().Aliases = {{"PC7", ""}};
  const DateTime now = t.clock.now();
  t.gs().cfg.AutoPop3Routing = true;
  t.gs().AutoPop3RoutArr = {{"+420777111222", now + 120.0 / 1440, "PC3"},
                            {"+420777111222", now - 1.0 / 1440, "PC4"},
                            {"+420777999999", now + 1, "PC5"}};
  EXPECT_EQ(RouteNames(t.g(), "+420777111222", "hi"), "PC3");
  EXPECT_EQ(RouteNames(t.g(), "+420777111222", "#PC7#hi"), "PC7,PC3");
  t.clock.setNow(now + 121.0 / 1440);
  EXPECT_EQ(RouteNames(t.g(), "+420777111222", "hi"), "");
  EXPECT_EQ(RouteNames(t.g(), "+420777111222", "#PC7#hi"), "PC7");
}

TEST(Pop3Routing, SenderAddressAndSubjectMark) {
  StoreTestGateway t;
  EXPECT_EQ(PhoneToMailAddr(t.g(), "+420777111222"), "+420777111222@kolvane.lan");
  t.gs().cfg.InMailAdr = "sms-<+>-<+>@x.y";
  EXPECT_EQ(PhoneToMailAddr(t.g(), "123"), "sms-123-<+>@x.y");
  t.gs().cfg.InMailAdr = "fixed@x.y";
  EXPECT_EQ(PhoneToMailAddr(t.g(), "123"), "123");

  const QByteArray text = QpEncode("Order [Žluťoučký kůň] today");
  EXPECT_EQ(SubjectMark(t.g(), text), "");  // markers not set
  t.gs().cfg.ToSubjBeginBody = "[";
  t.gs().cfg.ToSubjEndBody = "]";
  EXPECT_EQ(SubjectMark(t.g(), text), "Zlutoucky kun");
  EXPECT_EQ(SubjectMark(t.g(), QpEncode("no [end")), "");
}

TEST(Pop3Routing, ANameSpelledAsANumberGetsAnAddressNoReplyCanUse) {
  StoreTestGateway t;
  const struct {
    QByteArray name, address;
  } cases[] = {
      {"+420777000111", "name._4-2-0-7-7-7-0-0-0-1-1-1@kolvane.lan"},
      {"Tesco24", "name.Tesco2-4@kolvane.lan"},
      {"O2 Info", "name.O2_Info@kolvane.lan"},
  };
  for (const auto& c : cases) {
    const QByteArray address = NameToMailAddr(t.g(), c.name);
    EXPECT_EQ(address, c.address);
    EXPECT_LT(TelNoFromStr(address).size(), 4);
    EXPECT_TRUE(IsNameMailAddr(t.g(), address)) << address.constData();
  }
  EXPECT_FALSE(IsNameMailAddr(t.g(), "+420777000111@kolvane.lan"));
  EXPECT_FALSE(IsNameMailAddr(t.g(), "name.surname@firm.cz"));
  EXPECT_EQ(SenderSubject("+420777000111", true), "SMS from: +420777000111 (name)");
  EXPECT_EQ(SenderSubject("+420777000111", false), "SMS from phone No.: +420777000111");
  t.gs().cfg.InMailAdr = "sms-<+>@x.y";
  EXPECT_TRUE(IsNameMailAddr(t.g(), NameToMailAddr(t.g(), "Bank")));
}

TEST(Pop3Release, RoutedBasketAndAliasRecords) {
  StoreTestGateway t;
  const tMailRec forPc7 = pop3Record("260201000000", "PC7");
  const tMailRec forAll = pop3Record("260201000001", "");
  const tMailRec forSales = pop3Record("260201000002", "SALES,PC9");

  EXPECT_TRUE(MayRelease(t.g(), forPc7, "pc7"));
  EXPECT_TRUE(MayRelease(t.g(), forAll, "PC1"));
  t.logs();
  EXPECT_FALSE(MayRelease(t.g(), forPc7, "PC1"));
  EXPECT_TRUE(t.logs().contains("POP3 Email denied release to : PC1"));

  t.gs().cfg.BasketToo = true;
  t.gs().cfg.BasketName = "BOSS";
  EXPECT_TRUE(MayRelease(t.g(), forPc7, "boss"));
  EXPECT_FALSE(MayRelease(t.g(), forPc7, "PC1"));

  t.gs().cfg.BasketOn = true;
  EXPECT_TRUE(MayRelease(t.g(), forAll, "BOSS"));
  EXPECT_FALSE(MayRelease(t.g(), forAll, "PC1"));

  EXPECT_FALSE(MayRelease(t.g(), forSales, "PC1"));
  t.gs().cfg.AliasOn = true;
  t.gs().Aliases = {{"PC2", "SALES"}, {"pc1", "sales"}};
  EXPECT_TRUE(MayRelease(t.g(), forSales, "PC1"));
  EXPECT_TRUE(MayRelease(t.g(), forSales, "PC2"));
  EXPECT_FALSE(MayRelease(t.g(), forSales, "PC3"));
}

TEST(Pop3Release, ARunOfRefusalsIsOneLineWithItsCount) {
  StoreTestGateway t;
  for (const auto& [id, pc] : {std::pair{"260201000001", "PC7"},
                               {"260201000002", "PC7"},
                               {"260201000003", ""},
                               {"260201000004", "PC8"}}) {
    t.append("Pop3.Tmp", MailRecToStr(pop3Record(id, pc)));
  }
  t.logs();
  EXPECT_EQ(BuildPop3MsgList(t.g(), "PC1").Pop3MsgList.size(), 1);
  EXPECT_EQ(t.logs(), QStringList{"POP3 Email denied release to : PC1 (3 records)"});
  EXPECT_EQ(BuildPop3MsgList(t.g(), "PC7").Pop3MsgList.size(), 3);
  EXPECT_EQ(t.logs(), QStringList{"POP3 Email denied release to : PC7"});
}

TEST(Pop3Render, MessageHeadersBodyAndReplacedSender) {
  StoreTestGateway t;  // Sunday 1 February 2026, 10:00
  const tMailRec rec = pop3Record("260201000000", "PC7");
  const int offset = QDateTime(QDate(2026, 2, 1), QTime(10, 0)).offsetFromUtc() / 60;
  const QByteArray zone = (offset < 0 ? "-" : "+") +
                          QByteArray::number(std::abs(offset) / 60 * 100 + std::abs(offset) % 60)
                              .rightJustified(4, '0');
  const QByteArray expected =
      "From: <+420777111222@kolvane.lan>\r\n"
      "To: <kolvane>\r\n"
      "Subject: SMS from phone No.: +420777111222\r\n"
      "Date: Sun, 1 Feb 2026 10:00:00 " +
      zone +
      "\r\n"
      "Message-ID: <" +
      UniqueId(rec) +
      "@kolvane>\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=\"UTF-8\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "Hello\r\n"
      "world\r\n";
  EXPECT_EQ(RenderMessage(t.g(), rec), expected);

  t.gs().cfg.ReplTelNoOn = true;
  t.gs().Replacements = {
      {"+420777111222", "first@x.y"}, {"+420777111222", "jana@x.y"}, {"+4207771112", "other@x.y"}};
  EXPECT_TRUE(RenderMessage(t.g(), rec).startsWith("From: jana@x.y\r\nTo: <kolvane>\r\n"));
}

TEST(Pop3Render, BodiesAndSubjectsMailReadersDecode) {
  StoreTestGateway t;
  const auto rendered = [&t](const QByteArray& subject, const QByteArray& body) {
    tMailRec rec = pop3Record("260201000000", "");
    rec.Subj = subject;
    rec.MimeBody = body;
    const QByteArray m = RenderMessage(t.g(), rec);
    return std::pair{m.mid(m.indexOf("Subject: ") + 9).split('\r').value(0),
                     m.mid(m.indexOf("\r\n\r\n") + 4)};
  };
  const std::tuple<QByteArray, QByteArray, QByteArray, QByteArray> cases[] = {
      {"ascii", "=20blanks=20", "ascii", " blanks=20\r\n"},
      {"P\xC5\x99\xC3\xADli\xC5\xA1", "x=3Dy", "=?UTF-8?B?UMWZw61sacWh?=", "x=3Dy\r\n"},
      // Bytes that are not UTF-8: the subject in windows-1252 (no 8-bit charset chosen), the
      // body as Latin-1.
      {"caf\xE9 \x80", "caf=E9", "=?UTF-8?B?Y2Fmw6kg4oKs?=", "caf=C3=A9\r\n"},
      {"s", QByteArray(80, 'a'), "s", QByteArray(75, 'a') + "=\r\naaaaa\r\n"},
      {"s", "tab\tend\t", "s", "tab\tend=09\r\n"},
  };
  for (const auto& [subject, body, header, lines] : cases) {
    EXPECT_EQ(rendered(subject, body), std::pair(header, lines)) << body.data();
  }
}

TEST(Pop3Render, EachRecordShowsItsOwnDate) {
  StoreTestGateway t;  // Sunday 1 February 2026, 10:00
  const QByteArray local = MailDate(QDateTime(QDate(2026, 1, 31), QTime(23, 5, 9)));
  const std::pair<QByteArray, QByteArray> stamps[] = {
      {"26/12/10,09:58:12+04", "Thu, 10 Dec 2026 09:58:12 +0100"},
      {"26/01/31,23:05:09-20", "Sat, 31 Jan 2026 23:05:09 -0500"},
      {"2026/01/31,23:05:09+00", "Sat, 31 Jan 2026 23:05:09 +0000"},
      {"26/01/31,23:05:09", local},  // the gateway device's stamp, and PDUs, have no zone
      // No time stamp: the time the SMS was stored.
      {"", "Sun, 1 Feb 2026 10:00:00"},
      {"26/13/31,23:05:09+04", "Sun, 1 Feb 2026 10:00:00"},
      {"26/01/31,23:05:09+99", "Sun, 1 Feb 2026 10:00:00"},
  };
  {
    auto store = FileOpenAppend(t.path("Pop3.Tmp"));
    TrafficLogFile log = t.g().traffic().open(t.gs().cfg.Pop3TxtMask);
    for (const auto& stamp : stamps) {
      AppendReceivedSms(t.g(), store->file(), log, "+420777111222", stamp.first, "hi");
    }
  }
  // A report is dated when it is made.
  t.clock.setNow(t.clock.now() + 1.0 / 24);
  AppendRecord(t.g(), t.path("Pop3.Tmp"), pop3Record("", ""), true);
  const auto records = t.records("Pop3.Tmp");
  ASSERT_EQ(records.size(), std::size(stamps) + 1);
  for (std::size_t i = 0; i < std::size(stamps); ++i) {
    EXPECT_TRUE(records[i].Date.startsWith(stamps[i].second)) << stamps[i].first.data();
    EXPECT_TRUE(RenderMessage(t.g(), records[i], "Mon, 2 Feb 2026 08:00:00 +0100")
                    .contains("\r\nDate: " + records[i].Date + "\r\n"));
  }
  EXPECT_TRUE(records.back().Date.startsWith("Sun, 1 Feb 2026 11:00:00"));
  // A record written before records were dated shows the time of fetching.
  EXPECT_TRUE(RenderMessage(t.g(), pop3Record("1", ""), "Mon, 2 Feb 2026 08:00:00 +0100")
                  .contains("\r\nDate: Mon, 2 Feb 2026 08:00:00 +0100\r\n"));
}

TEST(Pop3Expire, OldRecordsAndPositionsGoAtStart) {
  StoreTestGateway t;  // today 260201, ExpireDay 7: cutoff 260125
  const QByteArray old1 = MailRecToStr(pop3Record("260120000000", "PC1"));
  const QByteArray old2 = MailRecToStr(pop3Record("260124000003", ""));
  tMailRec longRec = pop3Record("260125000000", "PC2");
  longRec.MimeBody = QByteArray(3000, 'x');  // longer than a read window
  const QByteArray kept1 = MailRecToStr(longRec);
  const QByteArray kept2 = MailRecToStr(pop3Record("260131000001", ""));
  // A record numbered past twelve digits by an earlier version expires like one without label.
  const QByteArray thirteen = MailRecToStr(pop3Record("9912311000000", ""));
  t.write("Pop3.Tmp", old1 + old2 + thirteen + kept1 + kept2 + "PosID: 2602");  // torn tail
  t.write("Pop3.Cut", "left over");
  t.g().settingsFile()->update([](IniText& ini) {
    ini.setValue("ClientsPos", "old", "260124000009");
    ini.setValue("ClientsPos", "new", "260125000000");
    ini.setValue("ClientsPos", "junk", "abcdef000001");
    ini.setValue("ClientsPos", "short", "12");
  });

  t.g().hooks().checkPop3Store();  // the start-up call
  EXPECT_EQ(t.read("Pop3.Tmp"), kept1 + kept2);
  EXPECT_FALSE(t.exists("Pop3.Cut"));
  EXPECT_EQ(t.g().settingsFile()->read().keys("ClientsPos"), (QStringList{"new", "short"}));

  // A store whose first record is recent enough stays as it is, old records behind it too.
  const QByteArray recentFirst = MailRecToStr(pop3Record("260131000000", "")) + old1;
  t.write("Pop3.Tmp", recentFirst);
  Pop3Expire(t.g());
  EXPECT_EQ(t.read("Pop3.Tmp"), recentFirst);

  // A replacement cut short after the store was removed: the cut file is the store.
  QFile::remove(t.gs().file("Pop3.Tmp"));
  t.write("Pop3.Cut", kept2);
  Pop3Expire(t.g());
  EXPECT_EQ(t.read("Pop3.Tmp"), kept2);
  EXPECT_FALSE(t.exists("Pop3.Cut"));

  t.gs().cfg.ExpireDay = 0;
  t.write("Pop3.Tmp", old1);
  Pop3Expire(t.g());
  EXPECT_EQ(t.read("Pop3.Tmp"), old1);
}

TEST(Pop3Expire, PositionsAboveEveryRecordAreBroughtBack) {
  StoreTestGateway t;
  t.gs().cfg.ExpireDay = 0;
  const struct {
    QByteArray store;
    QString saved;
    QString after;
  } cases[] = {
      {MailRecToStr(pop3Record("260131000004", "")), "9912311000000", "260131000004"},
      {MailRecToStr(pop3Record("260131000004", "")), "260131000009", "260131000004"},
      {MailRecToStr(pop3Record("260131000004", "")), "260131000002", "260131000002"},
      {{}, "260131000002", "0"},
  };
  for (const auto& c : cases) {
    QFile::remove(t.gs().file("Pop3.Tmp"));
    if (!c.store.isEmpty()) t.write("Pop3.Tmp", c.store);
    t.g().settingsFile()->setValue("ClientsPos", "PC1", c.saved);
    Pop3Expire(t.g());
    EXPECT_EQ(t.g().settingsFile()->value("ClientsPos", "PC1"), c.after) << qPrintable(c.saved);
  }
}
