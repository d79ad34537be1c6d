#include <gtest/gtest.h>
#include <QDateTime>

#include "mail/mail_rec.h"
#include "mail/pseudo_address.h"
#include "mail/quoted_printable.h"

using namespace kolvane;

namespace {

// Not a static: the day count needs the clock's epoch, another file's static.
SubjectRules rules() {
  return {"Report", "SendTime", "YYYY-MM-DD HH:NN:SS",
          toDateTime(QDateTime(QDate(2026, 3, 14), QTime(12, 0)))};
}

tMailRec record(const QByteArray& body, const QByteArray& subj = "hello") {
  tMailRec r;
  r.PosID = "260315000007";
  r.NamePC = "pc1";
  r.From = "<a@b.c>";
  r.Toe = "<+42012345678@x.y>";
  r.Subj = subj;
  r.MimeBody = body;
  return r;
}

DateTime at(int y, int mo, int d, int h, int mi, int s) {
  return toDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

}  // namespace

TEST(QuotedPrintable, EncodesAndDecodes) {
  EXPECT_EQ(QpEncode("a=b"), "a=3Db");
  EXPECT_EQ(QpDecode("a=3Db"), "a=b");
  EXPECT_EQ(QpEncode("x\r\n\xC3\xA9"), "x=0D=0A=C3=A9");
  EXPECT_EQ(QpDecode("x=0D=0A=C3=A9"), "x\r\n\xC3\xA9");
  // Lower-case hex and soft line breaks vanish with their two bytes; a "=" near the end is
  // dropped alone.
  EXPECT_EQ(QpDecode("a=3db=\r\nc"), "abc");
  EXPECT_EQ(QpDecode("ab=c"), "abc");
  EXPECT_EQ(QpDecode("ab="), "ab");
  EXPECT_EQ(LogText(QpEncode("P\xC5\x99\xC3\xADli\xC5\xA1\r\nok")), "Prilis  ok");
}

TEST(MailRecToStr, WritesTheRecordLayout) {
  EXPECT_EQ(MailRecToStr(record("  text \r\n")),
            "PosID: 260315000007\r\nNamePC: pc1\r\nFrom: <a@b.c>\r\nTo: <+42012345678@x.y>\r\n"
            "Subject: hello\r\n\r\ntext\r\n.\r\n");
  EXPECT_TRUE(MailRecToStr(record("")).endsWith("Subject: hello\r\n\r\n\r\n.\r\n"));
}

TEST(MailRecToStr, NoBodyLineStartsWithADot) {
  EXPECT_TRUE(MailRecToStr(record(".dot")).endsWith("\r\n\r\n .dot\r\n.\r\n"));
  EXPECT_TRUE(MailRecToStr(record("a\r\n..two\r\n.one")).endsWith("a\r\n .two\r\n .one\r\n.\r\n"));
  // A line break in a header value would end the record early.
  const tMailRec broken = record("b", "x\r\n.\r\nPosID: 1");
  const tMailRec back = StrToMailRec(MailRecToStr(broken), rules());
  EXPECT_EQ(back.MimeBody, "b");
  EXPECT_EQ(back.PosID, "260315000007");
}

TEST(StrToMailRec, ReadsWhatWasWritten) {
  const QByteArray bytes = MailRecToStr(record("=C3=A9 body", "Report me"));
  const tMailRec r = StrToMailRec(bytes, rules());
  EXPECT_TRUE(r.OK);
  EXPECT_EQ(r.PosID, "260315000007");
  EXPECT_EQ(r.Toe, "<+42012345678@x.y>");
  EXPECT_EQ(r.TelNo, "+42012345678");
  EXPECT_EQ(r.MimeBody, "=C3=A9 body");
  EXPECT_TRUE(r.Report);
  EXPECT_EQ(r.SendTime, 0);
  // EndPos is the CR of the "." line: one byte before the record's last.
  EXPECT_EQ(r.EndPos, bytes.size() - 1);
}

TEST(StrToMailRec, TheDateLineOnlyWhereTheHeadersAre) {
  tMailRec dated = record("text");
  dated.Date = "Thu, 10 Dec 2026 09:58:12 +0100";
  const QByteArray bytes = MailRecToStr(dated);
  EXPECT_TRUE(bytes.contains("Subject: hello\r\nDate: Thu, 10 Dec 2026 09:58:12 +0100\r\n\r\n"));
  EXPECT_EQ(StrToMailRec(bytes, rules()).Date, dated.Date);
  // A record written before records were dated, followed by a dated one: neither its body nor
  // the next record gives it a date.
  const QByteArray old = MailRecToStr(record("Date: Mon, 1 Jan 2024 00:00:00 +0000"));
  const tMailRec r = StrToMailRec(old + bytes, rules());
  EXPECT_TRUE(r.OK);
  EXPECT_EQ(r.Date, QByteArray());
  EXPECT_EQ(r.MimeBody, "Date: Mon, 1 Jan 2024 00:00:00 +0000");
}

// What a job carries through its retries and a report needs, kept by every store it passes.
TEST(StrToMailRec, ReplyAddressWrittenTextAndAttempts) {
  tMailRec job = record("text");
  job.ReplyTo = "<+420777@kolvane.lan>";
  job.Written = "na=C3=AFve";
  job.Attempts = {"2026-12-09 10:00:00 +CMS ERROR: 38", "2026-12-09 10:01:00 ERROR"};
  const QByteArray bytes = MailRecToStr(job);
  const tMailRec r = StrToMailRec(bytes + MailRecToStr(record("next")), rules());
  EXPECT_TRUE(r.OK);
  EXPECT_EQ(r.ReplyTo, job.ReplyTo);
  EXPECT_EQ(r.Written, job.Written);
  EXPECT_EQ(r.Attempts, job.Attempts);
  EXPECT_EQ(r.MimeBody, "text");
  EXPECT_TRUE(StrToMailRec(MailRecToStr(record("Attempt: x")), rules()).Attempts.isEmpty());
}

TEST(StrToMailRec, WindowsFromTheReadersOfAStore) {
  const QByteArray first = MailRecToStr(record("one"));
  tMailRec second = record("two");
  second.PosID = "260315000008";
  const QByteArray bytes = first + MailRecToStr(second);
  const tMailRec a = StrToMailRec(bytes, rules());
  // The next window starts at the line feed that ends the first record.
  const tMailRec b = StrToMailRec(bytes.mid(a.EndPos), rules());
  EXPECT_EQ(b.PosID, "260315000008");
  EXPECT_EQ(b.MimeBody, "two");
  EXPECT_TRUE(b.OK);

  const tMailRec cut = StrToMailRec(first.left(first.size() - 4), rules());
  EXPECT_EQ(cut.EndPos, -1);
  EXPECT_FALSE(cut.OK);
  tMailRec noPc = record("x");
  noPc.NamePC.clear();
  EXPECT_FALSE(StrToMailRec(MailRecToStr(noPc), rules()).OK);
}

TEST(StrToMailRec, NumberFromTheSubjectWhenTheAddressHasNone) {
  tMailRec r = record("x", "call 777123456 now");
  r.Toe = "<office@x.y>";
  EXPECT_EQ(StrToMailRec(MailRecToStr(r), rules()).TelNo, "777123456");
  r.Subj = "room 12";
  EXPECT_EQ(StrToMailRec(MailRecToStr(r), rules()).TelNo, "");
}

TEST(TelNoFromStr, FirstRunOfDigits) {
  EXPECT_EQ(TelNoFromStr("<+12345678@domain>"), "+12345678");
  EXPECT_EQ(TelNoFromStr("a5b"), "");
  EXPECT_EQ(TelNoFromStr("x12"), "12");
  EXPECT_EQ(TelNoFromStr("+ 1+23"), "+23");
  EXPECT_EQ(TelNoFromStr(PseudoRecipient("+420777123456")), "+420777123456");
  EXPECT_EQ(TelNoFromStr(PseudoRecipient("777123")), "777123");
  EXPECT_EQ(TelNoFromStr(SendUpSender()), "");
}

TEST(TelNoFromSubject, EncodedWordsDecodedAndTimesSkipped) {
  const std::pair<QByteArray, QByteArray> cases[] = {
      {"Meeting 10:30 +420777700002", "+420777700002"},
      {"=?UTF-8?B?xb3DoWRvc3QgKzQyMDc3NzcwMDAwMQ==?=", "+420777700001"},
      {"=?iso-8859-2?Q?=AEadost_00420777700003?= later", "00420777700003"},
      {"2026-03-15 call 777123456", "777123456"},
      {"SendTime 08:30", ""},
      {"Order 12345 shipped", ""},
      {"+1 hour, then +42077", "+42077"},
      {"no digits", ""},
  };
  for (const auto& [subject, number] : cases) {
    EXPECT_EQ(TelNoFromSubject(subject), number) << subject.data();
  }
}

TEST(PreSetTimeParse, DateAndTimeAfterThePrefix) {
  EXPECT_EQ(PreSetTimeParse("SendTime 2026-03-15 08:30:00", rules()), at(2026, 3, 15, 8, 30, 0));
  EXPECT_EQ(PreSetTimeParse("+420777 sendtime:26-3-15 8:30:00 and more", rules()),
            at(2026, 3, 15, 8, 30, 0));
  // Anything past 20 characters is ignored.
  EXPECT_EQ(PreSetTimeParse("SendTime 2026-03-15 08:30:00   9", rules()),
            at(2026, 3, 15, 8, 30, 0));
  EXPECT_EQ(PreSetTimeParse("SendTime 2026-02-30 08:30:00", rules()), 0);
  EXPECT_EQ(PreSetTimeParse("SendTime 2026-03-15 25:30:00", rules()), 0);
  EXPECT_EQ(PreSetTimeParse("SendTime 15 08:30:00", rules()), 0);
  EXPECT_EQ(PreSetTimeParse("2026-03-15 08:30:00", rules()), 0);
  EXPECT_EQ(PreSetTimeParse("SendTime 99999999999999999999", rules()), 0);
}

TEST(PreSetTimeParse, TimeOnlyIsTodayOrTomorrow) {
  EXPECT_EQ(PreSetTimeParse("SendTime 13:15:00", rules()), at(2026, 3, 14, 13, 15, 0));
  EXPECT_EQ(PreSetTimeParse("SendTime 08:30:00", rules()), at(2026, 3, 15, 8, 30, 0));
}

TEST(PreSetTimeParse, MaskOrderAndLetters) {
  SubjectRules r = rules();
  r.PreSetMaskDT = "DD.MM.YYYY HH:NN:SS";
  EXPECT_EQ(PreSetTimeParse("SendTime 15.03.2026 08:30:00", r), at(2026, 3, 15, 8, 30, 0));
  r.PreSetMaskDT = "DD.MM.YYYY HH:NN";  // five letters: no time can be read
  EXPECT_EQ(PreSetTimeParse("SendTime 15.03.2026 08:30", r), 0);
  r.PreSetMaskDT = "short";  // ten characters or fewer: the usual order
  EXPECT_EQ(PreSetTimeParse("SendTime 2026-03-15 08:30:00", r), at(2026, 3, 15, 8, 30, 0));
}
