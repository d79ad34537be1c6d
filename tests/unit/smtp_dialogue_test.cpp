#include <gtest/gtest.h>
#include <random>

#include "mail/client_limits.h"
#include "mail/smtp_line_reader.h"
#include "platform/exclusive_file.h"
#include "unit/smtp_test_session.h"

using namespace kolvane;

namespace {

using SmtpDialogue = SmtpTestSession;

}  // namespace

TEST_F(SmtpDialogue, GreetingHeloAndEhlo) {
  EXPECT_EQ(reply(), "220 Kolvane");
  EXPECT_EQ(say("HELO pc1"), "250 Kolvane PC1");
  const QByteArray extensions =
      "\r\n250-8BITMIME\r\n250-PIPELINING\r\n250-SIZE 33554432\r\n250 AUTH PLAIN LOGIN";
  EXPECT_EQ(say("EHLO x"), "250-Kolvane X" + extensions);
  EXPECT_EQ(t.logs(),
            (QStringList{"SMTP client \"pc1\" logged in", "SMTP client \"x\" logged in"}));
  cfg().SmtpMaxMailMB = 2;
  cfg().HeloAdd = false;
  EXPECT_EQ(
      say("EHLO x"),
      "250-Kolvane\r\n250-8BITMIME\r\n250-PIPELINING\r\n250-SIZE 2097152\r\n250 AUTH PLAIN LOGIN");
  EXPECT_EQ(say("HELO pc1"), "250 Kolvane");
  // A settings file that asks for the old answer gets it.
  cfg().Ehlo500 = true;
  EXPECT_EQ(say("EHLO x"), "500 X");
  EXPECT_EQ(say("EHLO"), "500");
  t.logs();
  EXPECT_EQ(say("EHLO x"), "500 X");
  EXPECT_EQ(t.logs(), QStringList{"SMTP client \"x\" Denied - EHLO"});
}

TEST_F(SmtpDialogue, EnvelopeCommands) {
  reply();
  EXPECT_EQ(say("MAIL FROM:<x>"), "250 Kolvane <x> sender ok");
  const QByteArray syntax = "501 5.5.4 Kolvane syntax: use <address>";
  for (const char* line : {"MAIL FROM: x@y", "MAIL FROM:x> <y", "RCPT TO:+420603111222@sms.lan"}) {
    EXPECT_EQ(say(line), syntax) << line;
  }
  // A size over the limit is refused before the mail is sent.
  EXPECT_EQ(say("MAIL FROM:<x> SIZE=33554432 BODY=8BITMIME"), "250 Kolvane <x> sender ok");
  for (const char* line :
       {"MAIL FROM:<x> SIZE=33554433", "mail from:<x> body=8bitmime size=99999999999999999999"}) {
    EXPECT_EQ(say(line), "552 Kolvane mail over 32 MB") << line;
  }
  EXPECT_EQ(t.logs().value(0),
            "SMTP client \"pc1\" announced a mail of 33554433 bytes, over 32 MB: not accepted");
  EXPECT_EQ(say("RCPT TO:<x>"), "550 Kolvane <x> no mail address");
  EXPECT_TRUE(recv.To_StrLi.isEmpty());
  EXPECT_EQ(say("rcpt to:<+420603111222@sms.lan>"),
            "250 Kolvane <+420603111222@sms.lan> recipient ok");
  EXPECT_EQ(recv.To_StrLi, QList<QByteArray>{"+420603111222@sms.lan"});
  EXPECT_EQ(say("RSET"), "250 Kolvane");
  EXPECT_TRUE(recv.To_StrLi.isEmpty());
  EXPECT_EQ(say("AUTH LOGIN"), "334 VXNlcm5hbWU6");
  EXPECT_EQ(say("*"), "501 5.7.0 Authentication cancelled");
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
}

TEST_F(SmtpDialogue, EveryCommandIsAnswered) {
  reply();
  const std::pair<QByteArray, QByteArray> cases[] = {
      {"NOOP", "250 Kolvane"},      {"VRFY someone", "252 Kolvane"},
      {"HELP", "214 Kolvane"},      {"STARTTLS", "454 4.7.0 TLS not available"},
      {"EXPN list", "502 Kolvane"}, {".", "502 Kolvane"},
  };
  for (const auto& [line, answer] : cases) EXPECT_EQ(say(line), answer) << line.data();
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
}

TEST_F(SmtpDialogue, AMailThatMakesNoSmsIsRefused) {
  say("HELO pc1");
  const std::pair<QByteArray, QByteArray> cases[] = {
      {"Subject: empty\n\n", "554 Kolvane no text"},
      {"Subject: blank\n\n  \n", "554 Kolvane no text"},
      {"Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: application/pdf\n\n"
       "JVBERi0=\n--b--",
       "554 Kolvane no text"},
      {"Content-Type: application/octet-stream\n\nAAAA", "554 Kolvane no text"},
  };
  for (const auto& [text, answer] : cases) {
    EXPECT_EQ(mail({"+420603111222@sms.lan"}, text), answer) << text.data();
  }
  // No recipient taken: no mail to begin.
  say("MAIL FROM:<sender@lan>");
  EXPECT_EQ(say("RCPT TO:<x>").left(3), "550");
  EXPECT_EQ(say("DATA"), "503 5.5.1 Kolvane bad sequence of commands");
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
  EXPECT_FALSE(t.exists("Pop3.Tmp"));
  EXPECT_TRUE(t.logs().contains("SMTP client \"pc1\" sent a mail without text: not accepted"));
}

TEST_F(SmtpDialogue, BurstLeavesOnlyTheLastReply) {
  for (const char* line : {"HELO pc1", "MAIL FROM:<a@b>", "RCPT TO:<+420603111222@b>", "DATA"}) {
    recv.AddRecvStr(line);
  }
  EXPECT_EQ(reply(), "354 Kolvane");
  EXPECT_TRUE(recv.SmtpDataOn);
}

TEST_F(SmtpDialogue, QuitCountsTheStoredJobs) {
  int quits = 0;
  recv.onQuit = [&] { ++quits; };
  say("HELO pc1");
  EXPECT_EQ(mail({"+420603111222@sms.lan", "nobody@lan", "+420603333444@sms.lan"}, "\nhello"),
            "250 Kolvane");
  EXPECT_EQ(t.records("Smtp.Tmp").size(), 2);
  EXPECT_EQ(t.records("Pop3.Tmp").size(), 1);
  t.logs();
  const int before = cfg().EmlInCnt;
  EXPECT_EQ(say("QUIT"), "221 Kolvane");
  EXPECT_EQ(cfg().EmlInCnt, before + 2);
  EXPECT_TRUE(t.gs().CountersChanged);
  EXPECT_EQ(t.logs(), (QStringList{"SMTP server received and saved 2 mails",
                                   "SMTP server passed to POP3 server 1 mails as non-delivery"}));
  EXPECT_TRUE(recv.QuitSeen);
  EXPECT_EQ(quits, 1);
}

TEST_F(SmtpDialogue, ContentLinesAreUnstuffedAndAnyLengthIsTaken) {
  const QByteArray longLine(5000, 'x');
  EXPECT_EQ(mailTo("+420603111222@sms.lan", "Subject: s", ".5 mg\n" + longLine), "250 Kolvane");
  EXPECT_TRUE(recv.BodyMail_Str.startsWith(".5 mg\r\n" + longLine.left(10)));
  // The leading dot survives the store as well.
  const auto jobs = texts("Smtp.Tmp");
  ASSERT_EQ(jobs.size(), 1);
  EXPECT_EQ(jobs[0].left(10), ".5 mg\r\nxxx");

  // A line of one dot (sent as "..") is text like any other; the lines after it stay.
  EXPECT_EQ(mailTo("+420603111222@sms.lan", "Subject: s", "first\n.\nlast"), "250 Kolvane");
  const auto more = texts("Smtp.Tmp");
  ASSERT_EQ(more.size(), 2);
  EXPECT_TRUE(more[1].endsWith("last"));
}

TEST_F(SmtpDialogue, EachMailHasItsOwnRecipients) {
  say("HELO pc1");
  mailTo("+420603111222@sms.lan", "Subject: one", "first");
  // A client that sends its next mail without RSET or HELO.
  mailTo("+420603333444@sms.lan", "Subject: two", "second");
  const auto jobs = t.records("Smtp.Tmp");
  ASSERT_EQ(jobs.size(), 2);
  EXPECT_EQ(jobs[1].Toe, "<+420603333444@sms.lan>");
  // A new connection does not inherit the transaction of one that left mid-mail.
  say("MAIL FROM:<a@lan>");
  say("RCPT TO:<+420603555666@sms.lan>");
  recv.StartInitX(QStringLiteral("pc2"));
  reply();
  EXPECT_EQ(say("DATA"), "503 5.5.1 Kolvane bad sequence of commands");
  EXPECT_EQ(t.records("Smtp.Tmp").size(), 2);
}

TEST_F(SmtpDialogue, MailWaitsForAStoreBrieflyHeld) {
  say("HELO pc1");
  auto holder = std::make_unique<ExclusiveFile>(t.path("Smtp.Tmp"));
  ASSERT_TRUE(holder->open(QIODevice::ReadWrite));
  EXPECT_EQ(mailTo("+420603111222@sms.lan", "Subject: s", "text"), "-");
  EXPECT_TRUE(recv.Storing());
  EXPECT_TRUE(server.SmtpNetRun);
  // Lines sent meanwhile are taken in order once the mail is stored.
  recv.AddRecvStr("QUIT");
  holder.reset();
  ASSERT_TRUE(waitStored());
  EXPECT_FALSE(server.SmtpNetRun);
  EXPECT_EQ(t.records("Smtp.Tmp").size(), 1);
  EXPECT_EQ(reply(), "221 Kolvane");  // QUIT's, after the mail's
  EXPECT_TRUE(recv.QuitSeen);
  EXPECT_TRUE(t.logs().contains("SMTP server received and saved 1 mails"));
}

// A client that goes on sending while its mail is stored is held as much as a mail may hold;
// past that its lines are dropped and, once the rest is answered, the session closes.
TEST_F(SmtpDialogue, LinesHeldWhileAMailIsStoredAreBoundedByTheMailSize) {
  cfg().SmtpMaxMailMB = 1;
  say("HELO pc1");
  auto holder = std::make_unique<ExclusiveFile>(t.path("Smtp.Tmp"));
  ASSERT_TRUE(holder->open(QIODevice::ReadWrite));
  EXPECT_EQ(mailTo("+420603111222@sms.lan", "Subject: s", "first"), "-");
  ASSERT_TRUE(recv.Storing());
  recv.AddRecvStr("MAIL FROM:<sender@lan>");
  recv.AddRecvStr("RCPT TO:<+420603111333@sms.lan>");
  recv.AddRecvStr("DATA");
  for (int i = 0; i < 1500; ++i) recv.AddRecvStr(QByteArray(1000, 'x'));
  recv.AddRecvStr(".");
  holder.reset();
  ASSERT_TRUE(waitStored());
  EXPECT_EQ(reply(), "421 Kolvane too much sent before the replies, closing");
  EXPECT_TRUE(recv.QuitSeen);
  EXPECT_FALSE(recv.SmtpDataOn);
  EXPECT_EQ(texts("Smtp.Tmp"), QList<QByteArray>{"first"});  // the cut mail is not taken
  EXPECT_TRUE(
      t.logs().contains("SMTP client \"pc1\" sent more than 1 MB before its replies: "
                        "the rest is dropped, the session closed"));
}

TEST_F(SmtpDialogue, MailIsRefusedForNowWhenTheStoreStaysHeld) {
  say("HELO pc1");
  ExclusiveFile holder(t.path("Smtp.Tmp"));
  ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
  mail({"+420603111222@sms.lan", "nobody@lan"}, "Subject: s\n\ntext");
  ASSERT_TRUE(waitStored());
  EXPECT_TRUE(reply().startsWith("451 "));
  EXPECT_TRUE(t.logs().contains("!!! Smtp.Tmp - held by another writer !!!"));
  holder.close();
  // Nothing of the refused mail was kept: no job, no report of its other recipient.
  EXPECT_EQ(t.read("Smtp.Tmp"), "");
  EXPECT_FALSE(t.exists("Pop3.Tmp"));
  say("QUIT");
  EXPECT_EQ(cfg().EmlInCnt, 0);
  // The client's next try goes through.
  EXPECT_EQ(mail({"+420603111222@sms.lan"}, "Subject: s\n\ntext"), "250 Kolvane");
  EXPECT_EQ(t.records("Smtp.Tmp").size(), 1);
}

TEST_F(SmtpDialogue, StoreFinishingAfterTheClientLeftAnswersTheNextOneNot) {
  say("HELO pc1");
  auto holder = std::make_unique<ExclusiveFile>(t.path("Smtp.Tmp"));
  ASSERT_TRUE(holder->open(QIODevice::ReadWrite));
  mailTo("+420603111222@sms.lan", "Subject: s", "text");
  recv.StartInitX(QStringLiteral("pc2"));
  EXPECT_EQ(reply(), "220 Kolvane");
  recv.AddRecvStr("HELO pc2");
  holder.reset();
  ASSERT_TRUE(waitStored());
  EXPECT_EQ(reply(), "250 Kolvane PC2");
  EXPECT_EQ(t.records("Smtp.Tmp").size(), 1);
  EXPECT_EQ(recv.SmtpSaveOkCnt, 0);
}

TEST_F(SmtpDialogue, ArbitraryLinesNeverBreakTheDialogue) {
  cfg().PreSetTimeSw = true;
  cfg().SendUCS2SmsPermit = true;
  const QList<QByteArray> pieces = {"DATA",
                                    "MAIL FROM:<a@b>",
                                    ".",
                                    "",
                                    "RCPT TO:<+420603111222@x>",
                                    "RCPT TO:<",
                                    "+420603111222@x",
                                    ">",
                                    "To: ",
                                    "Cc:",
                                    "From:",
                                    "Subject:",
                                    "SendTime ",
                                    "2026-",
                                    "Content-Type: text/plain; charset=",
                                    "utf-8",
                                    "windows-1250",
                                    "\"",
                                    "boundary=",
                                    "-BOUNDARY",
                                    "-=_",
                                    "--",
                                    "Content-Transfer-Encoding: ",
                                    "base64",
                                    "quoted-printable",
                                    "=",
                                    "=C5",
                                    "=\r",
                                    "<",
                                    "@",
                                    ",",
                                    ";",
                                    "\t",
                                    "\xC5",
                                    "\xFF",
                                    "\x1b",
                                    QByteArray(1, '\0'),
                                    "X-Priority: 1"};
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    QByteArray line;
    const int n = static_cast<int>(random() % 6);
    for (int k = 0; k < n; ++k) line += pieces[random() % pieces.size()];
    recv.AddRecvStr(line);
    if (recv.Storing()) {
      ASSERT_TRUE(waitStored());
    }
  }
  if (recv.SmtpDataOn) say(".");
  ASSERT_TRUE(waitStored());
  EXPECT_EQ(say("HELO pc1"), "250 Kolvane PC1");
  EXPECT_FALSE(t.records("Smtp.Tmp").isEmpty());
}

TEST_F(SmtpDialogue, OverlongCommandsBigMailsAndControlBytesAreRefusedOrMasked) {
  reply();
  struct Case {
    QByteArray line;
    qsizetype dropped;
    QByteArray reply;
  };
  const Case cases[] = {
      {"HELO " + QByteArray(kMaxLineBytes - 5, 'a'), 1, "500"},  // cut by the reader
      {QByteArrayLiteral("HELO a\0b\x1b"
                         "c\x7f"
                         "d\xC3\xA9"),
       0, "250 Kolvane A?B?C?D\xC3\xA9"},
      {"EHLO \x01", 0,
       "250-Kolvane ?\r\n250-8BITMIME\r\n250-PIPELINING\r\n250-SIZE 33554432\r\n250 AUTH PLAIN "
       "LOGIN"},
      {"MAIL FROM:<x\ty>", 0, "250 Kolvane <x?y> sender ok"},
      // Cut at the CR, the address is no address.
      {"RCPT TO:<+420603111222@\r.lan>", 0, "550 Kolvane <+420603111222@?.lan> no mail address"},
  };
  for (const Case& c : cases) {
    recv.AddRecvStr(c.line, c.dropped);
    EXPECT_EQ(reply(), c.reply) << c.line.left(20).toStdString();
  }
  EXPECT_TRUE(t.logs().contains("SMTP client \"a?b?c?d\xC3\xA9\" logged in"));

  // A mail over the limit is counted to its end, answered "552" and not stored; the session
  // goes on.
  cfg().SmtpMaxMailMB = 1;
  const QByteArray line(1000, 'x');
  say("MAIL FROM:<a@lan>");
  say("RCPT TO:<+420603111222@sms.lan>");
  EXPECT_EQ(say("DATA"), "354 Kolvane");
  recv.AddRecvStr("Subject: big");
  recv.AddRecvStr("");
  for (int i = 0; i < 1100; ++i) recv.AddRecvStr(line);
  EXPECT_LE(recv.BodyMail_Str.size(), 1024 * 1024);
  EXPECT_EQ(say("."), "552");
  EXPECT_FALSE(recv.Storing());
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
  EXPECT_TRUE(recv.To_StrLi.isEmpty());
  EXPECT_EQ(mail({"+420603111222@sms.lan"}, "\nsmall"), "250 Kolvane");
  ASSERT_TRUE(waitStored());
  EXPECT_EQ(texts("Smtp.Tmp"), QList<QByteArray>{"small"});
}

TEST_F(SmtpDialogue, RecipientsAreBoundedAndEachNumberIsOneJob) {
  cfg().SmtpMaxRcpt = 3;
  reply();
  say("MAIL FROM:<a@lan>");
  struct Case {
    QByteArray rcpt;
    QByteArray code;
  };
  const Case cases[] = {
      {"+420603000001@a.lan", "250"}, {"+420603000001@b.lan", "250"},  // same number
      {"alice@lan", "250"},           {"alice@lan", "250"},            // same address
      {"+420603000002@a.lan", "250"}, {"+420603000003@a.lan", "452"},
      {"+420603000001@c.lan", "250"},  // known number: not a new recipient
  };
  for (const Case& c : cases) EXPECT_EQ(say("RCPT TO:<" + c.rcpt + ">").left(3), c.code);
  EXPECT_EQ(recv.To_StrLi,
            (QList<QByteArray>{"+420603000001@a.lan", "alice@lan", "+420603000002@a.lan"}));

  // With the recipients taken from the headers the same bounds hold.
  cfg().ToTakeFromRcpt = false;
  say("DATA");
  recv.AddRecvStr("To: +420603000004@a.lan, +420603000004@b.lan, +420603000005@a.lan,");
  recv.AddRecvStr(" +420603000006@a.lan, +420603000007@a.lan");
  EXPECT_EQ(recv.To_StrLi, (QList<QByteArray>{"+420603000004@a.lan", "+420603000005@a.lan",
                                              "+420603000006@a.lan"}));
}

TEST_F(SmtpDialogue, CommandsOutOfOrderAreRefused) {
  reply();
  const std::pair<QByteArray, QByteArray> cases[] = {
      {"RCPT TO:<+420603111222@sms.lan>", "503"},
      {"DATA", "503"},
      {"MAIL FROM:<a@lan>", "250"},
      {"DATA", "503"},
      {"RCPT TO:<x>", "550"},
      {"DATA", "503"},  // no recipient taken
      {"RCPT TO:<+420603111222@sms.lan>", "250"},
      {"RSET", "250"},
      {"RCPT TO:<+420603111222@sms.lan>", "503"},
      {"MAIL FROM:<a@lan>", "250"},
      {"RCPT TO:<+420603111222@sms.lan>", "250"},
      {"HELO pc1", "250"},
      {"DATA", "503"},
  };
  for (const auto& [line, code] : cases) EXPECT_EQ(say(line).left(3), code) << line.data();
  EXPECT_EQ(say("RCPT TO:<+420603111222@sms.lan>"), "503 5.5.1 Kolvane bad sequence of commands");
  // After a mail the next one starts with MAIL again.
  EXPECT_EQ(mail({"+420603111222@sms.lan"}, "\ntext"), "250 Kolvane");
  ASSERT_TRUE(waitStored());
  EXPECT_EQ(say("DATA").left(3), "503");
}

TEST_F(SmtpDialogue, OnlyCrLfDotCrLfEndsTheDataUnlessTheClientWritesLfAlone) {
  say("MAIL FROM:<a@lan>");
  say("RCPT TO:<+420603111222@sms.lan>");
  EXPECT_EQ(say("DATA"), "354 Kolvane");
  recv.AddRecvStr("Subject: s");
  recv.AddRecvStr("");
  recv.AddRecvStr("a", 0, LineEnd::Lf);
  // A dot after a bare LF, or ended by one, is no end in a CR LF session.
  recv.AddRecvStr(".", 0, LineEnd::CrLf, LineEnd::Lf);
  recv.AddRecvStr(".", 0, LineEnd::Lf, LineEnd::CrLf);
  recv.AddRecvStr("b", 0, LineEnd::Cr, LineEnd::Lf);
  recv.AddRecvStr(".", 0, LineEnd::Cr, LineEnd::Cr);
  EXPECT_TRUE(recv.SmtpDataOn);
  EXPECT_EQ(say("."), "250 Kolvane");
  ASSERT_TRUE(waitStored());

  // A client whose commands all end with LF may end its data with LF too.
  recv.StartInitX(QStringLiteral("pc2"));
  reply();
  for (const QByteArray& line :
       {QByteArray("MAIL FROM:<a@lan>"), QByteArray("RCPT TO:<+420603111222@sms.lan>"),
        QByteArray("DATA"), QByteArray("Subject: lf"), QByteArray(), QByteArray("text")}) {
    recv.AddRecvStr(line, 0, LineEnd::Lf, LineEnd::Lf);
  }
  recv.AddRecvStr(".", 0, LineEnd::Lf, LineEnd::Lf);
  EXPECT_EQ(reply(), "250 Kolvane");
  ASSERT_TRUE(waitStored());
  EXPECT_EQ(texts("Smtp.Tmp").size(), 2);
}

TEST(SmtpLineReader, LinesAreCutAtTheLimitAndTheRestCounted) {
  struct Case {
    QByteArray bytes;
    QList<QByteArray> lines;
    QList<qsizetype> dropped;
  };
  const Case cases[] = {
      {"ab\r\ncd\r\n", {"ab", "cd"}, {0, 0}},
      {"abcdefg\r\nxy\r\n", {"abcd", "xy"}, {3, 0}},
      {"abcdefgh", {}, {}},
      {"\nabcdef\nab\r\n", {"", "abcd", "ab"}, {0, 2, 0}},
      {"a\rb\n\r\nc\r\r\n", {"a", "b", "", "c", ""}, {0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    QList<QByteArray> lines;
    QList<qsizetype> dropped;
    // Byte by byte and whole give the same lines.
    for (const bool split : {false, true}) {
      lines.clear();
      dropped.clear();
      SmtpLineReader r(4);
      const auto onLine = [&](const QByteArray& l, qsizetype d, LineEnd, LineEnd) {
        lines << l;
        dropped << d;
      };
      if (split) {
        for (const char b : c.bytes) r.feed(QByteArray(1, b), onLine);
      } else {
        r.feed(c.bytes, onLine);
      }
      EXPECT_EQ(lines, c.lines) << c.bytes.toStdString();
      EXPECT_EQ(dropped, c.dropped) << c.bytes.toStdString();
    }
  }
}

TEST(SmtpLineReader, EachLineTellsHowItAndTheOneBeforeEnded) {
  using E = LineEnd;
  QList<std::pair<E, E>> ends;
  QList<QByteArray> lines;
  const auto onLine = [&](const QByteArray& l, qsizetype, E end, E before) {
    lines << l;
    ends << std::pair{end, before};
  };
  // Byte by byte: a CR that is the last byte of a read ends its line at once, a lone dot
  // waits for the next byte to know whether it ends the data.
  SmtpLineReader r(100);
  for (const char b : QByteArray("x\r\n.\r\ny\n.\n.\rz\r")) r.feed(QByteArray(1, b), onLine);
  EXPECT_EQ(lines, (QList<QByteArray>{"x", ".", "y", ".", ".", "z"}));
  EXPECT_EQ(ends, (QList<std::pair<E, E>>{{E::Cr, E::CrLf},
                                          {E::CrLf, E::CrLf},
                                          {E::Lf, E::CrLf},
                                          {E::Lf, E::Lf},
                                          {E::Cr, E::Lf},
                                          {E::Cr, E::Cr}}));
}
