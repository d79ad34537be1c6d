#include <gtest/gtest.h>

#include "mail/flowed_text.h"
#include "mail/html_to_text.h"
#include "mail/job_reader.h"
#include "mail/reply_answer.h"
#include "mail/store_protocols.h"
#include "unit/smtp_test_session.h"

using namespace kolvane;

namespace {

using MailToSms = SmtpTestSession;

const QByteArray kTo = "+420603111222@sms.lan";
const QByteArray kCzechPlain = "Prilis zlutoucky kun";
const QByteArray kCzechUtf8 =
    "P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88";

// Lines ended by LF, as the tables below write them.
QByteArray answer(const QByteArray& text) {
  QByteArray a = ReplyAnswer(text, QString::fromUtf8(text));
  return a.replace("\r\n", "\n");
}

QByteArray concatHeader(int ref, int total, int part) {
  QByteArray h("\x05\x00\x03", 3);
  for (int b : {ref, total, part, 0}) h += static_cast<char>(b);
  return h;
}

}  // namespace

TEST_F(MailToSms, PlainMailBecomesOneJob) {
  EXPECT_EQ(mailTo(kTo, "From: Alice <alice@lan>\nTo: someone\nSubject: Hi there", "Hello world"),
            "250 Kolvane");
  const auto jobs = t.records("Smtp.Tmp");
  ASSERT_EQ(jobs.size(), 1);
  EXPECT_EQ(jobs[0].Toe, "<" + kTo + ">");
  EXPECT_EQ(jobs[0].TelNo, "+420603111222");
  EXPECT_EQ(jobs[0].NamePC, "pc1");
  EXPECT_EQ(jobs[0].From, "alice@lan");
  EXPECT_EQ(jobs[0].Subj, " Hi there");
  EXPECT_EQ(QpDecode(jobs[0].MimeBody), "Hello world");
  EXPECT_EQ(t.traffic(cfg().SmtpTxtMask), QList<QByteArray>{"+420603111222\tHello world"});
  EXPECT_TRUE(t.gs().Lamps.smtpBits & kLampStore);
  // The characters the GSM alphabet codes differently come through a mail without charset.
  mailTo(kTo, "Subject: x", "Cost $5 [approx] @home {1}");
  EXPECT_EQ(texts("Smtp.Tmp").value(1), "Cost $5 [approx] @home {1}");
  // Without a "From:" header the envelope sender stands in, so the record stays complete.
  mailTo(kTo, "Subject: x", "text");
  EXPECT_EQ(t.records("Smtp.Tmp").value(2).From, "<sender@lan>");
}

TEST_F(MailToSms, CzechTextInEveryEncodingIsTransliterated) {
  const QList<std::pair<QByteArray, QByteArray>> mails = {
      {"Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit", kCzechUtf8},
      {"Content-Type: text/plain; charset=\"windows-1250\"",
       "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2"},
      {"Content-Type: text/plain; charset=ISO-8859-2",
       "P\xF8\xEDli\xB9 \xBElu\xBBou\xE8k\xFD k\xF9\xF2"},
      {"Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64",
       "UMWZw61sacWhIMW+bHXF\npW91xI1rw70ga8WvxYg="},
      // Malformed base64: stray characters and a missing pad.
      {"Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: BASE64",
       "UMWZw61sacWhIMW+bHXF!!\npW91xI1rw70ga8WvxYg"},
      {"Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable",
       "P=C5=99=C3=ADli=C5=A1 =C5=BElu=C5=A5ou=\n=C4=8Dk=C3=BD k=C5=AF=C5=88"},
      // Parameters after the charset do not spoil it.
      {"Content-Type: text/plain; charset=UTF-8; format=flowed", kCzechUtf8},
      // Each mail in its own charset: one that names none is UTF-8 when its bytes are.
      {"Subject: none", kCzechUtf8},
      // Charsets under their other names.
      {"Content-Type: text/plain; charset=UTF8", kCzechUtf8},
      {"Content-Type: text/plain; charset=utf_8", kCzechUtf8},
      {"Content-Type: text/plain; charset=cp1250",
       "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2"},
      {"Content-Type: text/plain; charset=\"Latin2\"",
       "P\xF8\xEDli\xB9 \xBElu\xBBou\xE8k\xFD k\xF9\xF2"},
      {"Content-Type: text/plain; charset=ISO_8859-2:1987",
       "P\xF8\xEDli\xB9 \xBElu\xBBou\xE8k\xFD k\xF9\xF2"},
      // A charset the platform's converter reads, and us-ascii that is really UTF-8.
      {"Content-Type: text/plain; charset=ibm852",
       "P\xFD\xA1li\xE7 \xA7lu\x9Cou\x9Fk\xEC k\x85\xE5"},
      {"Content-Type: text/plain; charset=us-ascii", kCzechUtf8},
  };
  for (const auto& [headers, body] : mails) mailTo(kTo, headers, body);
  const auto got = texts("Smtp.Tmp");
  ASSERT_EQ(got.size(), mails.size());
  for (qsizetype i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], kCzechPlain) << "mail " << i;
}

TEST_F(MailToSms, TransferEncodingsDecodeOnlyWhenNamed) {
  mailTo(kTo, "Content-Transfer-Encoding: 7bit", "1+1=2 and a=3Db stay");
  mailTo(kTo, "Content-Transfer-Encoding: quoted-printable", "soft=\nbreak, a=3Db\nnext");
  EXPECT_EQ(texts("Smtp.Tmp"),
            (QList<QByteArray>{"1+1=2 and a=3Db stay", "softbreak, a=b\r\nnext"}));
}

TEST_F(MailToSms, MultipartTakesTheTextPlainPartOnly) {
  mailTo(kTo, "Content-Type: multipart/alternative;\n boundary=\"b1\"",
         "This is a multi-part message in MIME format.\n"
         "--b1\n"
         "Content-Type: text/plain; charset=utf-8\n"
         "Content-Transfer-Encoding: quoted-printable\n"
         "\n"
         "plain =C5=BElu=C5=A5ou=C4=8Dk=C3=BD\n"
         "--b1\n"
         "Content-Type: text/html; charset=utf-8\n"
         "Content-Transfer-Encoding: base64\n"
         "\n"
         "PGI+aHRtbDwvYj4=\n"
         "--b1--");
  // Nested: the alternative inside a mixed mail with an attachment.
  mailTo(kTo, "Content-Type: multipart/mixed; boundary=\"outer\"",
         "--outer\n"
         "Content-Type: multipart/alternative; boundary=\"inner\"\n"
         "\n"
         "--inner\n"
         "Content-Type: text/plain; charset=\"us-ascii\"\n"
         "\n"
         "nested plain\n"
         "--inner\n"
         "Content-Type: text/html\n"
         "\n"
         "<p>html</p>\n"
         "--inner--\n"
         "--outer\n"
         "Content-Type: application/pdf\n"
         "Content-Transfer-Encoding: base64\n"
         "\n"
         "JVBERi0=\n"
         "--outer--");
  EXPECT_EQ(texts("Smtp.Tmp"), (QList<QByteArray>{"plain zlutoucky", "nested plain"}));
}

TEST_F(MailToSms, TheFirstTextPartThatIsNoAttachmentIsTheSms) {
  const QByteArray html = "Content-Type: text/html; charset=utf-8";
  const QByteArray page =
      "<html><head><title>T</title><style>p {color: red}</style></head><body>\n"
      "<p>Fish &amp; chips&nbsp;at <b>5</b></p><!-- note --><div>Caf&#xE9; &#8364;2</div>"
      "<script>x()</script></body></html>";
  const QByteArray mixed = "Content-Type: multipart/mixed; boundary=\"b42\"";
  const std::pair<QByteArray, QByteArray> cases[] = {
      {html + "\n\n" + page,
       "Fish & chips at 5\nCafe \xE2\x82\xAC"
       "2"},
      {"Content-Type: multipart/alternative; boundary=b42\n\nThis is a multi-part message.\n"
       "--b42\n" +
           html + "\n\n<p>Only html</p>\n--b42--",
       "Only html"},
      {mixed + "\n\n--b42\nContent-Type: text/plain\n\nSee the notes_v2\n--b42\n"
               "Content-Type: text/plain; name=\"notes.txt\"\n"
               "Content-Disposition: attachment; filename=\"notes.txt\"\n\nsecret\n--b42--",
       "See the notes_v2"},
      {mixed + "\n\n--b42\nContent-Disposition: inline; filename=a.txt\n\nfile\n--b42\n"
               "Content-Transfer-Encoding: quoted-printable\n\nno type=3A plain\n--b42--",
       "no type: plain"},
  };
  for (const auto& [text, sms] : cases) {
    EXPECT_EQ(mail({kTo}, text), "250 Kolvane") << text.data();
    EXPECT_EQ(texts("Smtp.Tmp").constLast(), sms) << text.data();
  }
}

TEST_F(MailToSms, NumberFromAddressOrSubject) {
  // Several recipients each get their job.
  mail({kTo, "+420603333444@sms.lan"}, "Subject: both\n\ntext");
  // A single recipient without a number sends to the number of the subject.
  mail({"office@lan"}, "Subject: +42060355566 call\n\ntext");
  auto jobs = t.records("Smtp.Tmp");
  ASSERT_EQ(jobs.size(), 3);
  EXPECT_EQ(jobs[1].TelNo, "+420603333444");
  EXPECT_EQ(jobs[2].Toe, "<office@lan>");
  EXPECT_EQ(jobs[2].TelNo, "+42060355566");
  EXPECT_FALSE(t.exists("Pop3.Tmp"));

  // Two such recipients are not sent: each gets a report.
  cfg().CmdOnUndispatched = QStringLiteral("notify.cmd");
  mail({"office@lan", "boss@lan"}, "From: me@lan\nSubject: +42060355566\n\nthe text");
  mail({"office@lan"}, "From: me@lan\nSubject: no number\n\nthe text");
  const auto reports = t.records("Pop3.Tmp");
  ASSERT_EQ(reports.size(), 3);
  EXPECT_EQ(reports[0].Subj,
            "Undispatched SMS:  (impossible to use a tel. number in address)  +42060355566");
  EXPECT_EQ(reports[1].Toe, "<boss@lan>");
  EXPECT_EQ(reports[0].From, "<kolvane@kolvane.lan>");
  EXPECT_EQ(reports[0].ReplyTo, "<+42060355566@kolvane.lan>");
  EXPECT_EQ(reports[0].NamePC, "pc1");
  EXPECT_EQ(QpDecode(reports[0].MimeBody),
            "The SMS to +42060355566 was not sent.\r\n"
            "Reason: impossible to use a tel. number in address\r\n\r\nYour text:\r\nthe text");
  EXPECT_EQ(reports[2].Subj,
            "Undispatched SMS:  (impossible to use a tel. number in subject)  no number");
  EXPECT_EQ(t.records("Smtp.Tmp").size(), 3);
  EXPECT_EQ(t.traffic(cfg().Pop3TxtMask).value(0), "office@lan\t!Undispatched SMS: !the text");
  EXPECT_EQ(commands, QStringList(3, QStringLiteral("notify.cmd")));
  EXPECT_TRUE(t.gs().Lamps.pop3Bits & kLampStore);
}

TEST_F(MailToSms, RecipientsFromHeadersAndReplacedAddresses) {
  cfg().ToTakeFromRcpt = false;
  cfg().ReplAddrOn = true;
  t.gs().Replacements = {{"+420603999888", "boss@firm.cz"}};
  mail({"ignored@lan"},
       "To: \"Doe, John\" <+420603111222@sms.lan>,\n"
       "\t+420603333444@sms.lan\n"
       "Cc: boss@firm.cz\n"
       "Subject: s\n\ntext");
  QList<QByteArray> toe;
  for (const tMailRec& r : t.records("Smtp.Tmp")) toe << r.Toe;
  EXPECT_EQ(toe, (QList<QByteArray>{"<+420603111222@sms.lan>", "<+420603333444@sms.lan>",
                                    "<+420603999888@kolvane.lan>"}));
}

TEST_F(MailToSms, LongTextsAreCutOrRefused) {
  const QByteArray text200(200, 'a');
  mailTo(kTo, "Subject: s", text200);
  EXPECT_EQ(texts("Smtp.Tmp"), QList<QByteArray>{QByteArray(160, 'a')});
  cfg().CutELong = false;
  mailTo(kTo, "Subject: s", text200);
  const auto reports = t.records("Pop3.Tmp");
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0].Subj, "Undispatched SMS:  (message is longer than 160 characters)  s");
  EXPECT_TRUE(QpDecode(reports[0].MimeBody).endsWith("Your text:\r\n" + text200));

  // Separate SMS of 160 bytes, within CutEMax of them.
  cfg().CutEMail = true;
  cfg().CutEMax = 2;
  mailTo(kTo, "Subject: s", QByteArray(170, 'b'));
  mailTo(kTo, "Subject: s", QByteArray(321, 'c'));
  EXPECT_EQ(texts("Smtp.Tmp").mid(1),
            (QList<QByteArray>{QByteArray(160, 'b'), QByteArray(10, 'b')}));
  EXPECT_TRUE(
      t.records("Pop3.Tmp").value(1).Subj.contains("(message is longer than 320 characters)"));
}

TEST_F(MailToSms, ConcatenatedParts) {
  cfg().CutEMail = true;
  cfg().ConcatenateSMS = true;
  mailTo(kTo, "Subject: s", QByteArray(153, 'a') + QByteArray(153, 'b'));
  mailTo(kTo, "Subject: s", QByteArray(307, 'c'));
  auto got = texts("Smtp.Tmp");
  ASSERT_EQ(got.size(), 5);
  EXPECT_EQ(got[0], concatHeader(2, 2, 1) + QByteArray(153, 'a'));
  EXPECT_EQ(got[1], concatHeader(2, 2, 2) + QByteArray(153, 'b'));
  EXPECT_EQ(got[2], concatHeader(3, 3, 1) + QByteArray(153, 'c'));
  EXPECT_EQ(got[4], concatHeader(3, 3, 3) + "c");

  // An extension character is not parted from its escape at the cut.
  mailTo(kTo, "Subject: s", QByteArray(152, 'd') + "[" + QByteArray(10, 'e'));
  got = texts("Smtp.Tmp");
  EXPECT_EQ(got[5], concatHeader(4, 2, 1) + QByteArray(152, 'd'));
  EXPECT_EQ(got[6], concatHeader(4, 2, 2) + "[" + QByteArray(10, 'e'));

  // The limit is CutEMax parts.
  cfg().CutEMax = 2;
  cfg().CutELong = false;
  mailTo(kTo, "Subject: s", QByteArray(400, 'f'));
  EXPECT_TRUE(
      t.records("Pop3.Tmp").value(0).Subj.contains("(message is longer than 306 characters)"));
}

TEST_F(MailToSms, PartCountNeverExceedsCutEMaxNor255) {
  cfg().CutEMail = true;
  cfg().ConcatenateSMS = true;
  // 306 bytes fit two parts by length, but the escape pair kept whole needs a third.
  const QByteArray tight = QByteArray(152, 'a') + "[" + QByteArray(152, 'b');
  const struct {
    int cutEMax;
    bool cutELong;
    QByteArray body;
    int parts;
    const char* refused;
  } cases[] = {
      {2, true, tight, 2, nullptr},
      {2, false, tight, 0, "(message is longer than 305 characters)"},
      {3, true, tight, 3, nullptr},
      {300, true, QByteArray(256 * 153, 'x'), 255, nullptr},
      {255, true, QByteArray(255 * 153 - 1, 'y') + "[", 255, nullptr},
  };
  for (const auto& c : cases) {
    QFile::remove(t.path("Smtp.Tmp"));
    QFile::remove(t.path("Pop3.Tmp"));
    cfg().CutEMax = c.cutEMax;
    cfg().CutELong = c.cutELong;
    mailTo(kTo, "Subject: s", c.body);
    const auto got = texts("Smtp.Tmp");
    ASSERT_EQ(got.size(), c.parts) << c.cutEMax;
    for (const QByteArray& part : got) {
      EXPECT_EQ(static_cast<std::uint8_t>(part[4]), c.parts);  // the total in the header
    }
    if (c.refused) {
      EXPECT_TRUE(t.records("Pop3.Tmp").value(0).Subj.contains(c.refused));
    }
  }
}

TEST_F(MailToSms, TimeOnlyPresetIsFixedWhenTheMailIsAccepted) {
  cfg().PreSetTimeSw = true;
  mailTo(kTo, "Subject: SendTime 10:05:00", "in five minutes");  // now 2026-02-01 10:00
  mailTo(kTo, "Subject: SendTime 09:00:00", "tomorrow morning");
  ASSERT_EQ(t.records("SmtpWait.Tmp").size(), 2);
  const struct {
    QTime at;
    int day;
    QList<QByteArray> sent;
  } steps[] = {
      {QTime(10, 4), 1, {}},
      {QTime(10, 6), 1, {"in five minutes"}},
      {QTime(8, 59), 2, {"in five minutes"}},
      {QTime(9, 1), 2, {"in five minutes", "tomorrow morning"}},
  };
  for (const auto& s : steps) {
    t.clock.setNow(QDateTime(QDate(2026, 2, s.day), s.at));
    PreSetTimeProc(t.g());
    EXPECT_EQ(texts("Smtp.Tmp"), s.sent) << qPrintable(s.at.toString());
  }
}

TEST_F(MailToSms, Ucs2WhenPermittedAndNeeded) {
  const QByteArray headers = "Content-Type: text/plain; charset=utf-8";
  mailTo(kTo, headers, kCzechUtf8);
  cfg().SendUCS2SmsPermit = true;
  mailTo(kTo, headers, kCzechUtf8);
  mailTo(kTo, headers, "plain ascii");
  const auto got = texts("Smtp.Tmp");
  ASSERT_EQ(got.size(), 3);
  EXPECT_EQ(got[0], kCzechPlain);
  EXPECT_EQ(got[1], kCzechUtf8);
  EXPECT_EQ(got[2], "plain ascii");
}

TEST_F(MailToSms, LongUcs2TextIsSentWholeInPartsOrReportedNeverCut) {
  const QByteArray headers = "Content-Type: text/plain; charset=utf-8";
  QByteArray longText;  // 100 characters
  for (int i = 0; i < 5; ++i) longText += kCzechUtf8;
  const QString wide = QString::fromUtf8(longText);
  cfg().SendUCS2SmsPermit = true;
  const struct {
    bool concatenate, cut;
    QList<QByteArray> parts;  // with their headers
  } cases[] = {
      {true,
       false,
       {concatHeader(2, 2, 1) + wide.left(67).toUtf8(),
        concatHeader(2, 2, 2) + wide.mid(67).toUtf8()}},
      {false, true, {wide.left(70).toUtf8(), wide.mid(70).toUtf8()}},
      {false, false, {}},
  };
  for (const auto& c : cases) {
    QFile::remove(t.path("Smtp.Tmp"));
    QFile::remove(t.path("Pop3.Tmp"));
    cfg().ConcatenateSMS = c.concatenate;
    cfg().CutEMail = c.cut;
    mailTo(kTo, headers, longText);
    EXPECT_EQ(texts("Smtp.Tmp"), c.parts) << c.concatenate << c.cut;
    const auto reports = t.records("Pop3.Tmp");
    EXPECT_EQ(reports.size(), c.parts.isEmpty() ? 1 : 0);
    if (c.parts.isEmpty() && !reports.isEmpty()) {
      EXPECT_EQ(reports[0].Subj, "Undispatched SMS:  (message is longer than 70 characters) ");
      EXPECT_TRUE(QpDecode(reports[0].MimeBody).endsWith("Your text:\r\n" + longText));
    }
  }
}

TEST_F(MailToSms, PresetTimeGoesToTheWaitingStore) {
  cfg().PreSetTimeSw = true;
  t.gs().WaitStore.WaitNextTime = toDateTime(QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
  mailTo(kTo, "Subject: SendTime 2026-02-02 08:30:00", "later");
  mailTo(kTo, "Subject: no time named", "now");
  mailTo(kTo, "Subject: SendTime 2026-02-01 10:00:30", "within a minute");
  mailTo(kTo, "Subject: SendTime soon", "bad");
  const auto waiting = t.records("SmtpWait.Tmp");
  ASSERT_EQ(waiting.size(), 1);
  EXPECT_EQ(waiting[0].Subj, " SendTime 2026-02-02 08:30:00");
  EXPECT_EQ(t.gs().WaitStore.WaitNextTime, toDateTime(QDateTime(QDate(2026, 2, 2), QTime(8, 30))));
  EXPECT_TRUE(t.gs().WaitLamp & kLampStore);
  EXPECT_EQ(texts("Smtp.Tmp"), (QList<QByteArray>{"now", "within a minute"}));
  const auto reports = t.records("Pop3.Tmp");
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0].Subj, "Undispatched SMS:  (error in pre-set time detection)  SendTime soon");
}

TEST_F(MailToSms, ImportantMailJumpsTheQueue) {
  mailTo(kTo, "Importance: High\nSubject: s", "not switched on");
  cfg().PrioritySw = true;
  cfg().PriorityEmail = true;
  cfg().PreSetTimeSw = true;
  mailTo(kTo, "Importance: High\nSubject: s", "important");
  mailTo(kTo, "X-Priority: 1 (Highest)\nSubject: SendTime 2026-02-02 08:30:00", "also");
  mailTo(kTo, "X-Priority: 3\nSubject: s", "normal");
  EXPECT_EQ(texts("SmtpPriH.Tmp"), (QList<QByteArray>{"important", "also"}));
  EXPECT_EQ(texts("Smtp.Tmp"), (QList<QByteArray>{"not switched on", "normal"}));
}

TEST_F(MailToSms, UnconvertibleCharacters) {
  const QByteArray headers = "Content-Type: text/plain; charset=x-unknown\nSubject: s";
  mailTo(kTo, headers, "caf\xE9");
  cfg().EmlSmsNoOk = 1;
  mailTo(kTo, headers, "caf\xE9");
  const auto reports = t.records("Pop3.Tmp");
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0].Subj, "Undispatched SMS:  (conversion of characters failed)  s");
  EXPECT_TRUE(QpDecode(reports[0].MimeBody).endsWith("Your text:\r\ncaf-"));
  EXPECT_EQ(texts("Smtp.Tmp"), QList<QByteArray>{"caf-"});
}

TEST_F(MailToSms, RoutingEntriesAndPop3Copies) {
  cfg().AutoPop3Routing = true;
  cfg().SmtpToPop3Report = true;
  mail({kTo, "+420603333444@sms.lan"}, "Subject: s\n\ntext");
  recv.StartInitX(QStringLiteral("pc2"));
  t.clock.advance(60000);
  mailTo(kTo, "Subject: s", "again");
  const auto& routes = t.gs().AutoPop3RoutArr;
  ASSERT_EQ(routes.size(), 2);
  EXPECT_EQ(routes[0].TelNo, "+420603111222");
  EXPECT_EQ(routes[0].NamePC, "pc2");
  EXPECT_DOUBLE_EQ(routes[0].EndTime, t.clock.now() + 120.0 / 1440);
  EXPECT_EQ(routes[1].NamePC, "pc1");
  const auto copies = t.records("Pop3.Tmp");
  ASSERT_EQ(copies.size(), 3);
  EXPECT_EQ(copies[0].From, "pc1");
  EXPECT_EQ(copies[0].NamePC, "pc1");
  EXPECT_EQ(copies[0].Subj, " s ( SMTP to POP3 report )");
  EXPECT_EQ(QpDecode(copies[2].MimeBody), "again");
}

TEST_F(MailToSms, JobsReadBackAsTheSendPhaseNeedsThem) {
  cfg().CutEMail = true;
  cfg().ConcatenateSMS = true;
  cfg().SendUCS2SmsPermit = true;
  mailTo(kTo, "Subject: s", QByteArray(152, 'a') + "{x}" + QByteArray(10, 'b'));
  mailTo(kTo, "Content-Type: text/plain; charset=utf-8", kCzechUtf8);
  ASSERT_TRUE(QFile::rename(t.path("Smtp.Tmp"), t.path("Smtp.Run")));
  GatewayState& gs = t.gs();
  ASSERT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_EQ(gs.JobTelNo, "+420603111222");
  EXPECT_EQ(std::tuple(gs.JobLoID, gs.JobLoHi, gs.JobLoNo), std::tuple(2, 2, 1));
  EXPECT_EQ(gs.JobRawText, QByteArray(152, 'a'));
  AdvanceSmtpRunPos(t.g(), gs.SmtpRunNext);
  ASSERT_EQ(ReadNextJob(t.g()), kJobReady);
  EXPECT_EQ(std::tuple(gs.JobLoID, gs.JobLoHi, gs.JobLoNo), std::tuple(2, 2, 2));
  EXPECT_EQ(gs.JobRawText, "{x}" + QByteArray(10, 'b'));
  AdvanceSmtpRunPos(t.g(), gs.SmtpRunNext);
  ASSERT_EQ(ReadNextJob(t.g()), kJobReadyNewCharset);
  EXPECT_TRUE(gs.JobUCS2);
  EXPECT_EQ(gs.JobWideText, QString::fromUtf8(kCzechUtf8));
}

// Replies as mail programs write them: each comes back as the answer alone.
TEST(ReplyAnswer, QuotesAttributionsHeadersAndSignaturesGo) {
  const std::pair<QByteArray, QByteArray> cases[] = {
      // Thunderbird, Czech, top-posted.
      {"Ano, budu tam v 15:00.\n\nDne 10. 12. 2026 v 9:58 +420777123456@sms.lan napsal(a):\n"
       "> P\xC5\x99ijde\xC5\xA1?\n>\n",
       "Ano, budu tam v 15:00."},
      // Thunderbird, English, bottom-posted.
      {"On 12/10/26 9:58 AM, +420777123456@sms.lan wrote:\n> Are you coming?\n\nYes, at 3.\n\n",
       "Yes, at 3."},
      // Gmail wraps a long attribution: the address, or its last word, on a line of its own.
      {"Yes, at 3.\n\nOn Thu, Dec 10, 2026 at 9:58 AM kolvane <\n+420777123456@sms.lan> wrote:\n\n"
       "> Are you coming?\n",
       "Yes, at 3."},
      {"Ano.\n\n\xC4\x8Dt 10. 12. 2026 v 9:58 odes\xC3\xADlatel kolvane <+420777123456@sms.lan>\n"
       "napsal:\n\n> P\xC5\x99ijde\xC5\xA1?\n",
       "Ano."},
      // Outlook: the header block ends the text, in plain text and in the text of HTML.
      {"Yes, at 3.\n\n-----Original Message-----\nFrom: kolvane <+420777123456@sms.lan> \n"
       "Sent: Thursday, December 10, 2026 9:58 AM\nTo: Jan\nSubject: SMS\n\nAre you coming?\n",
       "Yes, at 3."},
      {"Ano.\n\n\xC2\xA0\n\nOd: kolvane <+420777123456@sms.lan> \nOdesl\xC3\xA1no: \xC4\x8Dtvrtek "
       "10. prosince 2026 9:58\nKomu: Jan\n\n\xC2\xA0\n\nP\xC5\x99ijde\xC5\xA1?\n",
       "Ano."},
      {"Yes.\n________________________________\n*From:* kolvane\n*Sent:* Thursday\n\nHi\n", "Yes."},
      // German and French attributions; a signature ends the text.
      {"Ja.\n\nAm 10.12.2026 um 09:58 schrieb kolvane:\n> Kommst du?\n", "Ja."},
      {"Oui.\n-- \nJean\n\nLe 10/12/2026 \xC3\xA0 09:58, kolvane a \xC3\xA9\x63rit :\n> Viens ?\n",
       "Oui."},
      // Answers between quotes; the gaps the quotes leave become one blank line.
      {"> Are you coming?\nYes.\n> At 3?\n\n\nAt 4.\n", "Yes.\n\nAt 4."},
      {"Yes.\nJan wrote:\n> Coming?\n", "Yes."},
      {"Ano.\n\n10. 12. 2026 v 9:58, kolvane <+420777123456@sms.lan>:\n\n> Coming?\n", "Ano."},
      // A line like an attribution that stands above no quote is the person's own.
      {"I wrote:\nthe report is done\n> old\n", "I wrote:\nthe report is done"},
      // Nothing of the person's: the text goes whole.
      {"> Are you coming?\n", "> Are you coming?\n"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(answer(text), expected) << text.data();
}

TEST(ReplyAnswer, ReplySubjectsAndFlowedLines) {
  for (const char* s : {" Re: SMS", "RE: x", "AW: x", "Odp: x", "ODP:x", "SV: x", "Re[2]: x"})
    EXPECT_TRUE(IsReply(QString::fromLatin1(s), false)) << s;
  for (const char* s : {" Fwd: x", "Report", "Re x", "Area: x", ""})
    EXPECT_FALSE(IsReply(QString::fromLatin1(s), false)) << s;
  // A mail that names the one it answers is a reply; a forward never is.
  EXPECT_TRUE(IsReply(QStringLiteral("Report"), true));
  EXPECT_FALSE(IsReply(QStringLiteral("Fwd: Re: x"), true));
  EXPECT_FALSE(IsReply(QStringLiteral("FW: x"), true));

  const std::tuple<QByteArray, bool, QByteArray> flowed[] = {
      {"Ano, budu tam \nv 15:00.\nDalsi", false, "Ano, budu tam v 15:00.\r\nDalsi"},
      {"Zit\nra", true, "Zit\r\nra"},
      {"Zit \nra", true, "Zitra"},
      // Quotes join within their depth; space-stuffing goes; the signature stays a line.
      {"> a \n> b\n>> c \nd", false, "> a b\r\n>> c \r\nd"},
      {" From here\n-- \nJan", false, "From here\r\n-- \r\nJan"},
  };
  for (const auto& [text, delSp, joined] : flowed)
    EXPECT_EQ(JoinFlowedLines(text, delSp), joined) << text.data();
}

TEST(ReplyAnswer, HtmlQuotesAreMarked) {
  const QString gmail = QStringLiteral(
      "<div dir=\"ltr\">Ano.</div><br><div class=\"gmail_quote\"><div dir=\"ltr\" "
      "class=\"gmail_attr\">On Thu wrote:<br></div><blockquote class=\"gmail_quote\" "
      "style=\"margin:0\"><div>P\u0159ijde\u0161?<br>Dnes</div></blockquote></div><div>PS</div>");
  EXPECT_EQ(HtmlToText(gmail, HtmlQuotes::Marked),
            QStringLiteral("Ano.\n> On Thu wrote:\n> P\u0159ijde\u0161?\n> Dnes\nPS"));
  EXPECT_EQ(HtmlToText(gmail), QStringLiteral("Ano.\nOn Thu wrote:\nP\u0159ijde\u0161?\nDnes\nPS"));
  EXPECT_EQ(HtmlToText(QStringLiteral("<p>Yes</p><div class=\"moz-cite-prefix\">On x wrote:</div>"
                                      "<blockquote type=\"cite\">q<blockquote>qq</blockquote>"
                                      "</blockquote>"),
                       HtmlQuotes::Marked),
            QStringLiteral("Yes\nOn x wrote:\n> q\n> qq"));
}

TEST_F(MailToSms, RepliesSendTheAnswerOnly) {
  const QByteArray thunderbird =
      "In-Reply-To: <260201000001.kolvane@lan>\n"
      "Content-Type: text/plain; charset=UTF-8; format=flowed\n"
      "Content-Transfer-Encoding: 8bit";
  const QByteArray body =
      "Ano, budu tam v 15:00.\n\nDne 10. 12. 2026 v 9:58 kolvane \n"
      "napsal(a):\n> P\xC5\x99ijde\xC5\xA1 \n> z\xC3\xADtra?\n";
  mailTo(kTo, thunderbird, body);
  // Known by its subject alone; in an HTML mail the quote is its blockquote.
  mailTo(kTo, "Subject: Re: SMS\nContent-Type: text/html; charset=utf-8",
         "<p>Yes, at 3.</p><div>On x wrote:</div><blockquote type=cite>Are you coming?"
         "</blockquote>");
  // An alternative whose plain part is empty takes its HTML part.
  mailTo(kTo, "Subject: RE: SMS\nContent-Type: multipart/alternative; boundary=\"b42\"",
         "--b42\nContent-Type: text/plain; charset=utf-8\n\n\n--b42\n"
         "Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
         "<div dir=3D\"ltr\">Ok</div><div class=3D\"gmail_quote\">On x wrote:<blockquote>"
         "q</blockquote></div>\n--b42--");
  // No reply: a line that begins with ">" is the message.
  mailTo(kTo, "Subject: Disk alert", "Disk /var\n> 90 % used");
  cfg().MailCutQuotes = false;
  mailTo(kTo, thunderbird, body);
  EXPECT_EQ(
      texts("Smtp.Tmp"),
      (QList<QByteArray>{"Ano, budu tam v 15:00.", "Yes, at 3.", "Ok", "Disk /var\r\n> 90 % used",
                         "Ano, budu tam v 15:00.\r\n\r\nDne 10. 12. 2026 v 9:58 kolvane "
                         "napsal(a):\r\n> Prijdes zitra?"}));
}

TEST_F(MailToSms, EachMailInItsOwnCharset) {
  const QByteArray cp1250 = "Content-Type: text/plain; charset=windows-1250";
  mailTo(kTo, cp1250, "P\xF8ijdu");
  // Neither UTF-8 nor a 8-bit text after it takes the previous mail's charset.
  mailTo(kTo, "Subject: cron", "Z\xC3\xA1loha hotova");
  mailTo(kTo, "Subject: old script", "P\xF8ijdu");
  cfg().EmlSmsChConv = QStringLiteral("windows-1250");
  mailTo(kTo, "Subject: old script", "P\xF8ijdu");
  // Charsets outside the fifteen through the platform's converter.
  mailTo(kTo, "Content-Type: text/plain; charset=iso-8859-15", "Cena 5 \xA4");
  mailTo(kTo, "Content-Type: text/plain; charset=koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4");
  EXPECT_EQ(texts("Smtp.Tmp"), (QList<QByteArray>{"Prijdu", "Zaloha hotova", "Poijdu", "Prijdu",
                                                  "Cena 5 \xE2\x82\xAC", "Privet"}));
}
