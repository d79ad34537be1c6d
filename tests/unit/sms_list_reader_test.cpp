#include <gtest/gtest.h>

#include "unit/at_test_gateway.h"
#include "unit/qt_print.h"

#include "gsm/sms_list_reader.h"
#include "gsm/sms_list_scan.h"

namespace kolvane {
namespace {

const QByteArray kOk = "\r\nOK\r\n";

QByteArray TextHeader(int index, const QByteArray& sender, int length,
                      const QByteArray& time = "24/05/01,10:20:30+08") {
  QByteArray h = "+CMGL: " + QByteArray::number(index) + ",\"REC UNREAD\",\"" + sender + "\",,\"" +
                 time + "\",145";
  if (length >= 0) h += ',' + QByteArray::number(length);
  return h + "\r\n";
}

QByteArray PduEntry(int index, const QByteArray& pdu) {
  return "+CMGL: " + QByteArray::number(index) + ",1,," + QByteArray::number(pdu.size() / 2 - 1) +
         "\r\n" + pdu + "\r\n";
}

// SMS-DELIVER PDUs: 7-bit "Hello there", UCS2 "Čau", and the two parts of "Hello world"
// (reference 2A), the second part stamped five seconds later.
const QByteArray kPduHello = "00040C912470771121220000425010010203000BC8329BFD06D1D1657919";
const QByteArray kPduUcs2 = "00040C9124707733434400084250100102030006010C00610075";
const QByteArray kPduPart1 = "00440C912470775565660000425010010203000D0500032A0201906536FB0D02";
const QByteArray kPduPart2 = "00440C912470775565660000425010010253000C0500032A0202EE6F399B0C";

class SmsListReader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.started);
    t.gs().cfg.MemCheOn = false;
  }

  // The list command goes out and the modem's answer comes back in one receive pass.
  void list(const QByteArray& answer) {
    GsmAutomat(t.g(), AtState::List);
    t.takeCommand();
    t.feed(answer);
    t.clock.advance(100);
    ReadSmsList(t.g());
  }

  const SmsRecvArray& arr() { return t.link().SmsRecvArr; }

  tSmsRec joined(int index) {
    tSmsRec rec;
    SmsRecvArrToSmsRec(t.g(), index, rec);
    return rec;
  }

  AtTestGateway t;
};

TEST_F(SmsListReader, TextModeListingGivesOneRecordPerMessage) {
  list(TextHeader(1, "+420777111222", 18) + "Line one\r\nLine two\r\n" +
       TextHeader(2, "+420777333444", 6, "24/05/01,10:21:00+08") + "010C00610075\r\n" +
       TextHeader(5, "+420777", 9) + QByteArray("Price=5 \x00\r\n", 11) +
       TextHeader(7, "+420777", -1) + "First\r\nSecond\r\n" + TextHeader(8, "+420777", 1) +
       "Y\r\n" + kOk);
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_EQ(t.link().ListTick, 0u);
  EXPECT_EQ(t.logs(), QStringList{"GSM gateway received 5 SMS to SIM"});
  ASSERT_EQ(arr().size(), 5);
  const tSmsRec& first = arr()[0];
  EXPECT_EQ(first.MemPos, 1);
  EXPECT_EQ(first.SmsMode, "REC UNREAD");
  EXPECT_EQ(first.TelStr, "+420777111222");
  EXPECT_EQ(first.Time, "24/05/01,10:20:30+08");
  EXPECT_EQ(first.SmsType, 145);
  EXPECT_EQ(first.SmsLen, 18);
  EXPECT_EQ(first.Text, "Line one=0D=0ALine two");  // the length carries it past the break
  EXPECT_EQ(first.LoStat, 1);
  EXPECT_EQ(arr()[1].Text, "=C4=8Cau");
  EXPECT_EQ(arr()[1].Time, "24/05/01,10:21:00+08");
  EXPECT_EQ(arr()[2].Text, "Price=3D5 @");  // GSM code 0 is "@"
  EXPECT_EQ(arr()[3].Text, "First");        // no length: the text ends at the line break
  EXPECT_EQ(arr()[3].SmsLen, -1);
  EXPECT_EQ(arr()[4].Text, "Y");  // one character is no packed hex
  EXPECT_TRUE(joined(1).OK);
}

TEST_F(SmsListReader, PduModeListingIsDecodedAndPartsAreJoined) {
  t.gs().cfg.PDUText = false;
  list(PduEntry(1, kPduHello) + PduEntry(2, kPduUcs2) + PduEntry(3, kPduPart1) +
       PduEntry(4, kPduPart2) + kOk);
  EXPECT_EQ(t.logs(), QStringList{"GSM gateway received 4 SMS to SIM"});
  ASSERT_EQ(arr().size(), 4);
  EXPECT_EQ(arr()[0].Text, "Hello there");
  EXPECT_EQ(arr()[0].TelStr, "+420777111222");
  EXPECT_EQ(arr()[0].Time, "24/05/01,10:20:30");
  EXPECT_EQ(arr()[0].SmsMode, "1");
  EXPECT_EQ(arr()[0].SmsType, 4);
  EXPECT_EQ(arr()[0].SmsLen, 11);
  EXPECT_EQ(arr()[1].Text, "=C4=8Cau");
  EXPECT_EQ(arr()[2].LoID, 0x2A);
  EXPECT_EQ(arr()[3].LoNo, 2);

  const tSmsRec whole = joined(2);
  EXPECT_TRUE(whole.OK);
  EXPECT_EQ(whole.Text, "Hello world");  // the blank at the end of part 1 survives
  EXPECT_FALSE(joined(3).OK);
  EXPECT_FALSE(joined(2).OK);  // delivered once
}

TEST_F(SmsListReader, SecondPartListedFirstDeliversAtItsOwnEntry) {
  t.gs().cfg.PDUText = false;
  list(PduEntry(8, kPduPart2) + PduEntry(3, kPduPart1) + kOk);
  ASSERT_EQ(arr().size(), 2);
  EXPECT_EQ(t.link().SmsLongArr.size(), 1);
  const tSmsRec whole = joined(0);
  EXPECT_TRUE(whole.OK);
  EXPECT_EQ(whole.Text, "Hello world");
  EXPECT_EQ(whole.Time, "24/05/01,10:20:35");  // part 2's
  EXPECT_EQ(whole.TelStr, "+420777555666");
  EXPECT_FALSE(joined(1).OK);
}

TEST_F(SmsListReader, TextModePartsKeepTheirBlanksInEveryForm) {
  // UCS2 parts: "Hello " and "world".
  list(TextHeader(1, "+420777", 18) + "0500032A0201" + "00480065006C006C006F0020\r\n" +
       TextHeader(2, "+420777", 16) + "0500032A0202" + "0077006F0072006C0064\r\n" + kOk);
  EXPECT_EQ(joined(0).Text, "Hello world");

  // Parts whose header the modem shows in septets.
  FreeSMSArr(t.link());
  list(TextHeader(1, "+420777", 13) + QByteArray("\x05\x00\x03\x2B\x20\x20\x00Hello \r\n", 16) +
       TextHeader(2, "+420777", 12) + QByteArray("\x05\x00\x03\x2B\x20\x40\x00world\r\n", 14) +
       kOk);
  ASSERT_EQ(arr().size(), 2);
  EXPECT_EQ(arr()[0].LoID, 0x2B);
  EXPECT_EQ(arr()[1].LoNo, 2);
  EXPECT_EQ(joined(0).Text, "Hello world");

  // So does a single message.
  FreeSMSArr(t.link());
  list(TextHeader(1, "+420777", 7) + " Hello \r\n" + kOk);
  EXPECT_EQ(arr()[0].Text, " Hello ");
}

TEST_F(SmsListReader, HexBodiesWithConcatenationHeaders) {
  list(TextHeader(1, "+420777", 9) + "0500030102019069\r\n" + TextHeader(2, "+420777", 8) +
       "0500032A0200" + "0041\r\n" + TextHeader(3, "+420777", 8) + "0500032A0203" + "0042\r\n" +
       kOk);
  ASSERT_EQ(arr().size(), 3);
  // Packed septets: the text begins after the fill bit, the last odd bit is ignored.
  EXPECT_EQ(arr()[0].Text, "Hi");
  EXPECT_EQ(arr()[0].LoID, 1);
  EXPECT_EQ(arr()[0].LoHi, 2);
  EXPECT_EQ(arr()[0].LoNo, 1);
  EXPECT_FALSE(joined(0).OK);  // part 2 has not come yet
  // Part numbers outside the count make messages of their own.
  EXPECT_EQ(t.link().SmsLongArr.size(), 1);
  EXPECT_EQ(joined(1).Text, "A");
  EXPECT_EQ(joined(2).Text, "B");
}

// Kept in the device they would be listed again and again until the storage is full.
TEST_F(SmsListReader, MessagesWithoutSenderOrTextAreListedAndDeleted) {
  list(TextHeader(1, "", 5) + "Hello\r\n" + TextHeader(2, "+420777", 5) + "World\r\n" +
       TextHeader(3, "+420888", -1) + "\r\n" + kOk);
  ASSERT_EQ(arr().size(), 3);
  EXPECT_EQ(arr()[0].TelStr, "");
  EXPECT_EQ(arr()[0].Text, "Hello");
  EXPECT_EQ(arr()[2].TelStr, "+420888");
  EXPECT_EQ(arr()[2].Text, "");
  GsmAutomat(t.g(), AtState::Delete);
  EXPECT_EQ(t.converse([](const QByteArray&) { return kOk; }),
            (QList<QByteArray>{"AT+CMGD=1", "AT+CMGD=2", "AT+CMGD=3"}));
}

TEST_F(SmsListReader, AnswerIsStoredOnceWhenComplete) {
  list(kOk);  // too short to parse: the "OK" line ends the list
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_NE(t.link().ListTick, 0u);
  EXPECT_TRUE(arr().isEmpty());
  EXPECT_TRUE(t.logs().isEmpty());

  // A modem with its echo on repeats the command first; that "+CMGL" is no header.
  list("AT+CMGL=\"ALL\"\r" + TextHeader(1, "+420777", 5) + "Hello\r\n");
  EXPECT_TRUE(arr().isEmpty());
  t.feed(TextHeader(2, "+420777", 5) + "World\r\n" + kOk);
  t.clock.advance(100);
  ReadSmsList(t.g());
  ASSERT_EQ(arr().size(), 2);
  EXPECT_EQ(arr()[0].Text, "Hello");
  ReadSmsList(t.g());  // the list is idle again
  EXPECT_EQ(arr().size(), 2);
}

TEST_F(SmsListReader, StalledAnswerStoresWhatArrived) {
  list(TextHeader(1, "+420777", 5) + "Hello\r\n" + TextHeader(2, "+420888", 11) + "Hello");
  EXPECT_TRUE(arr().isEmpty());
  t.clock.advance(1400);  // 1500 ms after the last byte
  ReadSmsList(t.g());
  EXPECT_TRUE(arr().isEmpty());
  t.clock.advance(1);
  ReadSmsList(t.g());
  // The second body stopped short of its length: it stays in the device, read whole next time.
  EXPECT_EQ(t.logs(), (QStringList{"GSM gateway - List SMS messages - timeout",
                                   "SMS 2 incomplete when the listing stalled, left for the next "
                                   "reading"}));
  ASSERT_EQ(arr().size(), 1);
  EXPECT_EQ(arr()[0].Text, "Hello");
  EXPECT_TRUE(t.link().ListBuf.isEmpty());
  EXPECT_EQ(t.link().ListTick, t.clock.tick() + 200);
  EXPECT_FALSE(t.link().ListDone);
}

TEST_F(SmsListReader, TextBodyStopsAtTheNextEntryAndWaitsWhenCut) {
  const QByteArray forged = "abc\r\n+CMGL: 9,\"REC UNREAD\",\"+420111\",,\"t\",145,5\r\n#cmd#";
  struct Case {
    const char* what;
    QByteArray answer;
    bool stalls;
    QList<QByteArray> stored;
  };
  const Case cases[] = {
      {"length beyond the next entry",
       TextHeader(1, "+420777", 160) + "Hello\r\n" + TextHeader(2, "+420888", 5) + "World\r\n" +
           kOk,
       false,
       {"+420777:Hello", "+420888:World"}},
      {"length beyond the final result",
       TextHeader(1, "+420777", 160) + "Hello\r\n" + kOk,
       false,
       {"+420777:Hello"}},
      {"an entry-like line inside a text whose length ends at the next entry",
       TextHeader(1, "+420777", int(forged.size())) + forged + "\r\n" +
           TextHeader(2, "+420888", 5) + "World\r\n" + kOk,
       false,
       {"+420777:" + EscapeSmsText(forged), "+420888:World"}},
      {"stall inside a line",
       TextHeader(1, "+420777", 5) + "Hello\r\n" + TextHeader(2, "+420888", 11) + "Hello wo",
       true,
       {"+420777:Hello"}},
      {"stall after the first of two lines",
       TextHeader(2, "+420888", 18) + "Line one\r\nLi",
       true,
       {}},
      {"stall inside UCS2 hex", TextHeader(2, "+420888", 4) + "0048006500", true, {}},
      {"stall right after a whole body",
       TextHeader(2, "+420888", 5) + "Hello\r\n",
       true,
       {"+420888:Hello"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreeSMSArr(t.link());
    if (c.stalls) {
      list(c.answer);
      t.clock.advance(1501);  // silent: the answer is taken as it stands
      ReadSmsList(t.g());
    } else {
      list(c.answer);
    }
    QList<QByteArray> texts;
    for (const tSmsRec& r : arr()) texts << r.TelStr + ":" + r.Text;
    EXPECT_EQ(texts, c.stored);
    t.logs();
  }
}

TEST_F(SmsListReader, PartsAreGroupedBySenderAndWholeReference) {
  // UCS2 hex parts: "050003" + 8-bit reference, or "060804" + 16-bit reference, then count and
  // number; the length counts the header's octets.
  auto part = [](int index, const QByteArray& sender, const QByteArray& udh, const char* text) {
    const QByteArray hex = QString::fromLatin1(text).toUtf8().toHex().toUpper();
    QByteArray ucs2;
    for (qsizetype i = 0; i < hex.size(); i += 2) ucs2 += "00" + hex.mid(i, 2);
    return TextHeader(index, sender, int(udh.size() / 2 + ucs2.size() / 2)) + udh + ucs2 + "\r\n";
  };
  list(part(1, "+420111",
            "05000307"
            "0201",
            "A1") +
       part(2, "+420222",
            "05000307"
            "0201",
            "B1") +
       part(3, "+420222",
            "05000307"
            "0202",
            "B2") +
       part(4, "+420111",
            "05000307"
            "0202",
            "A2") +
       part(5, "+420333",
            "0608040107"
            "0201",
            "C1") +
       part(6, "+420333",
            "0608040207"
            "0201",
            "D1") +
       part(7, "+420333",
            "0608040207"
            "0202",
            "D2") +
       part(8, "+420333",
            "0608040107"
            "0202",
            "C2") +
       kOk);
  ASSERT_EQ(arr().size(), 8);
  EXPECT_EQ(arr()[4].LoID, 0x0107);
  EXPECT_EQ(t.link().SmsLongArr.size(), 4);
  QList<QByteArray> delivered;
  for (int i = 0; i < 8; ++i) {
    const tSmsRec r = joined(i);
    if (r.OK) delivered << QByteArray::number(i) + ":" + r.TelStr + ":" + r.Text;
  }
  EXPECT_EQ(delivered, (QList<QByteArray>{"0:+420111:A1A2", "1:+420222:B1B2", "4:+420333:C1C2",
                                          "5:+420333:D1D2"}));
}

TEST_F(SmsListReader, AlphanumericSendersAreNamesWithTheirType) {
  // Text mode shows the name in the GSM character set ("$" is 0x02) with type 208.
  QByteArray header = TextHeader(2, "Info\x02SMS", 2);
  header.replace(",145,", ",208,");
  list(header + "Hi\r\n" + TextHeader(3, "+420777", 2) + "Ho\r\n" + kOk);
  ASSERT_EQ(arr().size(), 2);
  EXPECT_EQ(arr()[0].TelStr, "Info$SMS");
  EXPECT_EQ(arr()[0].TelType, 208);
  EXPECT_EQ(arr()[1].TelType, 145);
}

// An entry that cannot be read stays in the device for two listings; the third delivers it raw.
TEST_F(SmsListReader, UndecodableEntriesAreKeptRawForDeletionAtTheThirdListing) {
  t.gs().cfg.PDUText = false;
  const QByteArray sender = "0C91247077112122";
  const QByteArray time = "42501001020300";
  const QByteArray answer =
      PduEntry(1, kPduHello.left(40)) +                        // cut short
      PduEntry(2, "0004" + sender + "000C" + time + "0161") +  // reserved alphabet
      PduEntry(3, "0004" + sender + "0000" + time + "A1" + QByteArray(282, '1')) +  // 161 septets
      PduEntry(4, "00040B9113") +  // no whole sender
      PduEntry(5, kPduHello) + kOk;
  for (int listing = 1; listing <= 2; ++listing) {
    FreeSMSArr(t.link());
    list(answer);
    ASSERT_EQ(arr().size(), 1);
    EXPECT_EQ(arr()[0].MemPos, 5);
    EXPECT_TRUE(t.link().ListDoubtful);
    EXPECT_EQ(t.logs().filter("could not be read whole").size(), 4);
  }
  FreeSMSArr(t.link());
  list(answer);
  ASSERT_EQ(arr().size(), 5);
  EXPECT_FALSE(t.link().ListDoubtful);
  QList<QByteArray> got;
  for (int i = 0; i < 5; ++i) {
    const tSmsRec r = joined(i);
    got << QByteArray(r.Undecodable ? "raw " : "") + QByteArray::number(r.MemPos) + " " + r.TelStr;
  }
  EXPECT_EQ(got, (QList<QByteArray>{"raw 1 +420777111222", "raw 2 +420777111222",
                                    "raw 3 +420777111222", "raw 4 ", "5 +420777111222"}));
  EXPECT_EQ(joined(1).Text, "+CMGL: 2,1,,20=0D=0A0004" + sender + "000C" + time + "0161");

  // Text mode: a status report (its first octet where the sender stands, no body line) goes at
  // once; a length no SMS can have is read again first.
  t.gs().cfg.PDUText = true;
  const QByteArray text =
      "+CMGL: 3,\"REC UNREAD\",6,12,\"+420777\",145,\"24/05/01,10:20:30+08\","
      "\"24/05/01,10:20:35+08\",0\r\n" +
      TextHeader(4, "+420888", 999) + "Hi\r\n" + TextHeader(5, "+420999", 2) + "Ho\r\n" + kOk;
  for (int listing = 1; listing <= 3; ++listing) {
    FreeSMSArr(t.link());
    list(text);
    ASSERT_EQ(arr().size(), listing < 3 ? 2 : 3);
  }
  EXPECT_TRUE(arr()[0].Undecodable);
  EXPECT_TRUE(arr()[0].Text.startsWith("+CMGL: 3,\"REC UNREAD\",6,12,"));
  EXPECT_FALSE(arr()[0].Text.contains("=0D=0A"));  // the next entry is not taken in
  EXPECT_TRUE(arr()[1].Undecodable);
  EXPECT_TRUE(arr()[1].Text.endsWith(",999=0D=0AHi"));
  EXPECT_EQ(arr()[1].TelStr, "+420888");
  EXPECT_FALSE(arr()[2].Undecodable);
  EXPECT_EQ(arr()[2].Text, "Ho");
}

// What a modem says on its own between a header and its body is no part of the body; a body
// that does not come leaves its entry in the device, and nothing of a text is taken for an
// entry.
TEST_F(SmsListReader, CodesMissingBodiesAndWrongLengths) {
  struct Case {
    const char* what;
    bool pdu;
    QByteArray answer;
    QList<QByteArray> stored;
    bool doubtful;
  };
  const QByteArray code = "\r\n^RSSI: 17\r\n";
  const auto entry = [](int i, const char* text) {
    return TextHeader(i, "+42077711100" + QByteArray::number(i), int(qstrlen(text))) + text +
           "\r\n";
  };
  const Case cases[] = {
      {"text mode, a code after the header",
       false,
       entry(1, "One") + TextHeader(2, "+420777111002", 3) + code + "Two\r\n" + entry(3, "Six") +
           kOk,
       {"1:One", "2:Two", "3:Six"},
       false},
      {"text mode, an unknown code after the header",
       false,
       TextHeader(2, "+420777111002", 3) + "\r\n+CIEV: 2,3\r\nTwo\r\n" + kOk,
       {"2:Two"},
       false},
      {"PDU mode, a code after the header",
       true,
       PduEntry(1, kPduHello).replace("\r\n00", "\r\n" + code + "00") + code +
           PduEntry(2, kPduUcs2) + kOk,
       {"1:Hello there", "2:=C4=8Cau"},
       false},
      {"a text that reads like a code, as its length says",
       false,
       entry(1, "RING") + entry(2, "BUSY") + kOk,
       {"1:RING", "2:BUSY"},
       false},
      {"a body that never came",
       false,
       entry(1, "One") + TextHeader(2, "+420777111002", 3) + code + entry(3, "Six") + kOk,
       {"1:One", "3:Six"},
       true},
      {"a PDU that never came",
       true,
       "+CMGL: 1,1,,25\r\n" + PduEntry(2, kPduHello) + kOk,
       {"2:Hello there"},
       true},
      {"a length too short, and a line of the text that begins like an entry",
       false,
       TextHeader(1, "+420777111001", 5) + "Hello\r\n+CMGL: list\r\nbye\r\n" + entry(2, "Two") +
           kOk,
       {"1:Hello=0D=0A+CMGL: list=0D=0Abye", "2:Two"},
       true},
      {"an index listed twice",
       false,
       entry(1, "One") + entry(1, "Uno") + kOk,
       {"1:One", "1:Uno"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.gs().cfg.PDUText = !c.pdu;
    t.link().UnreadableCounts.clear();
    FreeSMSArr(t.link());
    list(c.answer);
    QList<QByteArray> texts;
    for (const tSmsRec& r : arr()) texts << QByteArray::number(r.MemPos) + ":" + r.Text;
    EXPECT_EQ(texts, c.stored);
    EXPECT_EQ(t.link().ListDoubtful, c.doubtful);
    t.logs();
  }
}

TEST_F(SmsListReader, IncompleteGroupWaitsForALaterRelation) {
  t.gs().cfg.PDUText = false;
  list(PduEntry(3, kPduPart1) + kOk);
  EXPECT_FALSE(joined(0).OK);
  FreeSMSArr(t.link());
  EXPECT_EQ(t.link().SmsLongArr.size(), 1);

  list(PduEntry(4, kPduPart2) + kOk);
  EXPECT_EQ(joined(0).Text, "Hello world");
  FreeSMSArr(t.link());
  EXPECT_TRUE(t.link().SmsLongArr.isEmpty());
}

TEST_F(SmsListReader, BadIndexIsReportedAndGivesNothing) {
  tSmsRec rec;
  rec.Text = "stale";
  SmsRecvArrToSmsRec(t.g(), 0, rec);
  EXPECT_FALSE(rec.OK);
  EXPECT_TRUE(rec.Text.isEmpty());
  EXPECT_EQ(rec.MemPos, -1);
  EXPECT_EQ(t.logs(),
            QStringList{QStringLiteral("!!!!  Pozor !!!! špatný parametr SmsRecvArrToSmsRec : 0")});
}

}  // namespace
}  // namespace kolvane
