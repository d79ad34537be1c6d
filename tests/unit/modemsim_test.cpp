#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>
#include <set>

#include "modemsim/deliver_pdu.h"
#include "modemsim/faults.h"
#include "modemsim/file_tail.h"
#include "modemsim/gsm7.h"
#include "modemsim/injection_text.h"
#include "modemsim/modem_sim.h"

namespace kolvane::modemsim {
namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(10, 20, 30), QTimeZone(7200));
constexpr char kSender[] = "+420777123456";
// "Hi €" from kSender at kNow, service centre +420600000100.
constexpr char kHiEuroPdu[] = "0791246000001000040C9124707721436500004250100102038005C834685306";

// The modem on a manual clock; cmd() writes a line as the gateway does (command + CR).
struct Modem {
  ModemSim sim;
  Tick now = 1000;

  explicit Modem(ModemConfig config = {}) : sim(withClock(std::move(config))) {}
  static ModemConfig withClock(ModemConfig config) {
    config.wallClock = [] { return kNow; };
    return config;
  }
  QByteArray cmd(const QByteArray& line) { return sim.feed(line + '\r', now); }
  QByteArray quietCmd(const QByteArray& line) {
    if (sim.echo()) cmd("ATE0");
    return cmd(line);
  }
  void store(const QString& text, Coding coding = Coding::Auto) {
    Injection sms;
    sms.sender = QString::fromLatin1(kSender);
    sms.text = text;
    sms.coding = coding;
    ASSERT_FALSE(sim.inject(sms, now).isEmpty());
  }
  SentSms onlySent() {
    std::vector<SentSms> sent = sim.takeSent();
    EXPECT_EQ(sent.size(), 1u);
    return sent.empty() ? SentSms{} : sent.front();
  }
};

TEST(ModemSimDialogue, EchoUntilAte0ThenPlainAnswers) {
  Modem m;
  EXPECT_EQ(m.cmd("AT"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(m.cmd("ATE0"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CPAS"), "\r\n+CPAS: 0\r\n\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CSCA?"), "\r\n+CSCA: \"+420600000100\",145\r\n\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CSQ"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CSMP=17,167,0,0"), "\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CMGF=1"), "\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CMGF=2"), "\r\nERROR\r\n");
  EXPECT_EQ(m.cmd("AT+CPMS=\"SM\""), "\r\n+CPMS: 0,30,0,30,0,30\r\n\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CPMS=\"XX\""), "\r\n+CMS ERROR: 302\r\n");
  EXPECT_EQ(m.cmd("AT+CMGL=\"NEW\""), "\r\n+CMS ERROR: 305\r\n");
  EXPECT_EQ(m.cmd("AT+WHAT"), "\r\nERROR\r\n");
  EXPECT_EQ(m.cmd("hello"), "");  // not a command line
  // A command split over several writes, and a character set that changes how numbers look.
  EXPECT_EQ(m.sim.feed("AT+CSCS=\"UC", m.now), "");
  EXPECT_EQ(m.sim.feed("S2\"\r", m.now), "\r\nOK\r\n");
  EXPECT_EQ(
      m.cmd("AT+CSCA?"),
      "\r\n+CSCA: \"002B003400320030003600300030003000300030003100300030\",145\r\n\r\nOK\r\n");
}

TEST(ModemSimList, TextModeWithHeaderFieldsMarksRead) {
  Modem m;
  m.store(QStringLiteral("Hi €"));
  m.store(QStringLiteral("Žluť"));
  m.quietCmd("AT+CMGF=1");
  m.cmd("AT+CSDH=1");
  EXPECT_EQ(m.cmd("AT+CMGL=\"ALL\""),
            "\r\n+CMGL: 1,\"REC UNREAD\",\"+420777123456\",,\"24/05/01,10:20:30+08\",145,5\r\n"
            "Hi \x1b"
            "e\r\n"
            "+CMGL: 2,\"REC UNREAD\",\"+420777123456\",,\"24/05/01,10:20:30+08\",145,8\r\n"
            "017D006C00750165\r\n"
            "\r\nOK\r\n");
  m.cmd("AT+CSDH=0");
  EXPECT_EQ(m.cmd("AT+CMGL=\"REC UNREAD\""), "\r\nOK\r\n");
  EXPECT_TRUE(m.cmd("AT+CMGL=\"REC READ\"")
                  .startsWith("\r\n+CMGL: 1,\"REC READ\",\"+420777123456\",,"
                              "\"24/05/01,10:20:30+08\"\r\nHi \x1b"
                              "e\r\n"));
}

TEST(ModemSimList, ConcatenatedPartsInTextModeAreHexOfTheUserData) {
  Modem m;
  Injection sms;
  sms.sender = QStringLiteral("+420603111222");
  sms.parts = QStringList{QStringLiteral("Hi"), QStringLiteral(" there")};
  sms.reference = 1;
  ASSERT_EQ(m.sim.inject(sms, m.now), (QList<int>{1, 2}));
  sms.parts = QStringList{QStringLiteral("Čau")};  // a single UCS2 part
  sms.reference = 2;
  m.sim.inject(sms, m.now);
  m.quietCmd("AT+CMGF=1");
  m.cmd("AT+CSDH=1");
  const QByteArray list = m.cmd("AT+CMGL=\"ALL\"");
  // Packed septets after the header and one fill bit; the length counts septets.
  EXPECT_TRUE(list.contains(",145,9\r\n0500030102019069\r\n")) << list.toStdString();
  EXPECT_TRUE(list.contains(",145,13\r\n050003010202407474595E06\r\n")) << list.toStdString();
  // UCS2: the length counts octets.
  EXPECT_TRUE(
      list.contains(",145,12\r\n05000302010101"
                    "0C00610075\r\n"))
      << list.toStdString();
}

TEST(ModemSimList, PduModeListsDeliverPdusWithServiceCentre) {
  Modem m;
  m.store(QStringLiteral("Hi €"));
  Injection named;
  named.sender = QStringLiteral("Vodafone");
  named.text = QStringLiteral("Hi");
  m.sim.inject(named, m.now);
  m.quietCmd("AT+CMGF=0");
  const QByteArray list = m.cmd("AT+CMGL=4");
  EXPECT_TRUE(list.startsWith(QByteArray("\r\n+CMGL: 1,0,,24\r\n") + kHiEuroPdu + "\r\n"))
      << list.toStdString();
  // Alphanumeric sender: type D0, 14 semi-octets carrying 8 septets.
  EXPECT_TRUE(list.contains("\r\n+CMGL: 2,0,,22\r\n0791246000001000040ED0D637396C7EBBCB0000"));
  EXPECT_TRUE(list.endsWith("\r\n\r\nOK\r\n"));
  EXPECT_EQ(m.cmd("AT+CMGL=\"ALL\""), "\r\n+CMS ERROR: 304\r\n");
}

TEST(ModemSimList, TimeStampZoneSign) {
  const QDateTime west(QDate(2024, 12, 31), QTime(23, 59, 58), QTimeZone(-5 * 3600 - 1800));
  EXPECT_EQ(timeStampField(west).toHex().toUpper(), "4221133295852A");  // 22 quarters, sign bit
  EXPECT_EQ(timeStampText(west), "24/12/31,23:59:58-22");
}

TEST(ModemSimList, DeleteByIndexAndByFlag) {
  Modem m;
  m.store(QStringLiteral("one"));
  m.store(QStringLiteral("two"));
  m.store(QStringLiteral("three"));
  m.quietCmd("AT+CMGD=2");
  EXPECT_EQ(m.sim.storage(Storage::SM).used(), 2);
  EXPECT_EQ(m.cmd("AT+CMGD=2"), "\r\n+CMS ERROR: 321\r\n");
  EXPECT_EQ(m.cmd("AT+CMGD=x"), "\r\n+CMS ERROR: 321\r\n");
  m.store(QStringLiteral("four"));  // takes the free index 2
  EXPECT_NE(m.sim.storage(Storage::SM).find(2), nullptr);
  EXPECT_EQ(m.cmd("AT+CMGD=1,4"), "\r\nOK\r\n");
  EXPECT_EQ(m.sim.storage(Storage::SM).used(), 0);
}

TEST(ModemSimList, StorageSelectionAndFullStorage) {
  ModemConfig small;
  small.simCapacity = 2;
  Modem m(small);
  Injection sms;
  sms.sender = QStringLiteral("+420777000111");
  sms.text = QString(200, u'x');  // two parts
  sms.storage = Storage::ME;
  EXPECT_EQ(m.sim.inject(sms, m.now).size(), 2);
  sms.storage = Storage::SM;
  m.store(QStringLiteral("one"));
  EXPECT_TRUE(m.sim.inject(sms, m.now).isEmpty());  // all parts or none
  EXPECT_EQ(m.sim.storage(Storage::SM).used(), 1);
  EXPECT_EQ(m.quietCmd("AT+CPMS=\"ME\""), "\r\n+CPMS: 2,100,1,2,1,2\r\n\r\nOK\r\n");
  m.cmd("AT+CMGF=1");
  EXPECT_EQ(m.cmd("AT+CMGL=\"ALL\"").count("+CMGL:"), 2);
}

TEST(ModemSimInject, SplitsLongTextsAtTheLimits) {
  Injection sms;
  sms.sender = QString::fromLatin1(kSender);
  sms.text = QString(152, u'a') + QStringLiteral("€bbbbbbbbbb");  // keeps the escape pair whole
  std::vector<StoredSms> parts = buildMessages(sms, 9, kNow);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].data.size(), 152);
  EXPECT_EQ(parts[1].data, QByteArray("\x1b") + "e" + QByteArray(10, 'b'));
  EXPECT_EQ(parts[1].header, QByteArray("\x00\x03\x09\x02\x02", 5));

  sms.text = QString(160, u'a');
  EXPECT_EQ(buildMessages(sms, 1, kNow).size(), 1u);
  sms.text = QStringLiteral("Привет ") + QString(63, u'x');  // 70 UCS2 characters fit one
  EXPECT_EQ(buildMessages(sms, 1, kNow).size(), 1u);
  sms.text += u'!';
  parts = buildMessages(sms, 1, kNow);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].coding, Coding::Ucs2);
  EXPECT_EQ(parts[0].data.size(), 134);

  sms.text = QStringLiteral("Hello world");
  sms.concat = true;  // short, but concatenated: two halves
  parts = buildMessages(sms, 1, kNow);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(gsm7::toText(parts[0].data) + gsm7::toText(parts[1].data), sms.text);
}

TEST(ModemSimSend, TextModeGsmAndUcs2) {
  Modem m;
  m.quietCmd("AT+CMGF=1");
  EXPECT_EQ(m.cmd("AT+CMGS=\"+420777000111\""), "\r\n> ");
  EXPECT_EQ(m.sim.feed("Ahoj\nsv\x05t\x1a\r", m.now), "\r\n+CMGS: 0\r\n\r\nOK\r\n");
  SentSms sent = m.onlySent();
  EXPECT_EQ(sent.number, "+420777000111");
  EXPECT_EQ(sent.text, QStringLiteral("Ahoj\nsvét"));
  EXPECT_EQ(sentLine(sent),
            "2024-05-01T10:20:30\t+420777000111\tAhoj\\nsvét\ttext\t0\t0\t0\t0\t0\t0\t"
            "Ahoj\\nsv\\x05t");

  m.cmd("AT+CSCS=\"UCS2\"");
  m.cmd("AT+CSMP=49,167,0,8");
  EXPECT_EQ(m.cmd("AT+CMGS=\"002B0034\""), "\r\n> ");
  EXPECT_EQ(m.sim.feed("017D006C0075\x1a\r", m.now), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  sent = m.onlySent();
  EXPECT_EQ(sent.number, "+4");
  EXPECT_EQ(sent.text, QStringLiteral("Žlu"));
  EXPECT_TRUE(sent.statusReport);
  EXPECT_EQ(sent.dcs, 8);

  m.cmd("AT+CMGS=\"002B0034\"");
  EXPECT_EQ(m.sim.feed("017D006\x1a\r", m.now), "\r\n+CMS ERROR: 305\r\n");  // cut hex
  EXPECT_EQ(m.cmd("AT+CMGS=\"+4\""), "\r\n+CMS ERROR: 305\r\n");             // number not in UCS2
  m.cmd("AT+CSCS=\"GSM\"");
  m.cmd("AT+CSMP=17,167,0,0");
  m.cmd("AT+CMGS=\"+4\"");
  EXPECT_EQ(m.sim.feed(QByteArray(161, 'a') + "\x1a\r", m.now), "\r\n+CMS ERROR: 305\r\n");
  m.cmd("AT+CMGS=\"+4\"");
  EXPECT_EQ(m.sim.feed("never\x1b", m.now), "\r\nOK\r\n");  // escape cancels
  EXPECT_TRUE(m.sim.takeSent().empty());
}

TEST(ModemSimSend, PduModeDecodesTheSubmit) {
  Modem m;
  m.quietCmd("AT+CMGF=0");
  EXPECT_EQ(m.cmd("AT+CMGS=25"), "\r\n> ");
  const QByteArray howAreYou = "07911326040000F011000B911346610089F60000AA0CC8F71D14969741F977FD07";
  EXPECT_EQ(m.sim.feed(howAreYou + "\x1a\r", m.now), "\r\n+CMGS: 0\r\n\r\nOK\r\n");
  SentSms sent = m.onlySent();
  EXPECT_EQ(sent.number, "+31641600986");
  EXPECT_EQ(sent.text, "How are you?");
  EXPECT_EQ(sent.raw, howAreYou);

  // Concatenation header, status report asked, no service-centre address.
  m.cmd("AT+CMGS=22");
  m.sim.feed("0071000B911346610089F60000AA090500030702019069\x1a\r", m.now);
  sent = m.onlySent();
  EXPECT_EQ(sent.text, "Hi");
  EXPECT_EQ(sent.concat.reference, 7);
  EXPECT_EQ(sent.concat.count, 2);
  EXPECT_EQ(sent.concat.part, 1);
  EXPECT_TRUE(sent.statusReport);

  m.cmd("AT+CMGS=24");  // announced length does not match
  EXPECT_EQ(m.sim.feed(howAreYou + "\x1a\r", m.now), "\r\n+CMS ERROR: 304\r\n");
  m.cmd("AT+CMGS=25");  // user-data length larger than the data
  EXPECT_EQ(
      m.sim.feed("07911326040000F011000B911346610089F60000AA0DC8F71D14969741F977FD07\x1a\r", m.now),
      "\r\n+CMS ERROR: 304\r\n");
  EXPECT_EQ(m.cmd("AT+CMGS=\"+420\""), "\r\n+CMS ERROR: 304\r\n");
  EXPECT_TRUE(m.sim.takeSent().empty());
}

TEST(ModemSimSend, EchoBackJoinsPartsAndAnswersLater) {
  ModemConfig config;
  config.echoBack = true;
  config.echoBackDelayMs = 3000;
  Modem m(config);
  m.quietCmd("AT+CMGF=0");
  m.cmd("AT+CMGS=22");
  m.sim.feed("0071000B911346610089F60000AA090500030702019069\x1a\r", m.now);
  m.cmd("AT+CMGS=22");
  m.sim.feed("0071000B911346610089F60000AA090500030702028269\x1a\r", m.now);  // "Ai"
  EXPECT_EQ(m.sim.nextDue(), m.now + 3000);
  m.sim.takeOutput(m.now + 2999);
  EXPECT_EQ(m.sim.storage(Storage::SM).used(), 0);
  m.sim.takeOutput(m.now + 3000);
  ASSERT_EQ(m.sim.storage(Storage::SM).used(), 1);
  const StoredSms& back = m.sim.storage(Storage::SM).messages().begin()->second;
  EXPECT_EQ(back.sender, "+31641600986");
  EXPECT_EQ(gsm7::toText(back.data), "Re: HiAi");
}

TEST(ModemSimFaults, SilenceBusyErrorsAndHighBytes) {
  Modem m;
  m.sim.faults().silent = true;
  EXPECT_EQ(m.cmd("AT"), "");
  m.sim.faults().silent = false;
  m.sim.faults().cpas = 3;
  m.sim.faults().errorOn = QStringList{QStringLiteral("ATE0"), QStringLiteral("AT+CSCA*")};
  EXPECT_EQ(m.cmd("ATE0"), "ATE0\r\r\nERROR\r\n");
  EXPECT_TRUE(m.sim.echo());
  EXPECT_EQ(m.cmd("AT+CSCA?"), "AT+CSCA?\r\r\nERROR\r\n");
  EXPECT_EQ(m.cmd("AT+CPAS"), "AT+CPAS\r\r\n+CPAS: 3\r\n\r\nOK\r\n");
  m.sim.faults().highBytes = true;
  EXPECT_EQ(m.cmd("AT"), "AT\r\xFF\r\nOK\r\n");

  m.sim.faults() = {};
  m.sim.faults().cmsError = 500;
  m.quietCmd("AT+CMGF=1");
  m.cmd("AT+CMGS=\"+420777000111\"");
  EXPECT_EQ(m.sim.feed("x\x1a\r", m.now), "\r\n+CMS ERROR: 500\r\n");
  EXPECT_TRUE(m.sim.takeSent().empty());
}

TEST(ModemSimFaults, DropAfterCommandsUntilTheNextConnection) {
  Modem m;
  m.sim.faults().dropAfter = 2;
  m.cmd("AT");
  m.cmd("AT");
  EXPECT_FALSE(m.sim.takeHangup());
  EXPECT_EQ(m.cmd("AT"), "");
  EXPECT_TRUE(m.sim.takeHangup());
  EXPECT_FALSE(m.sim.takeHangup());
  EXPECT_EQ(m.cmd("AT"), "");  // the link is gone
  m.sim.connectionOpened();
  EXPECT_EQ(m.cmd("AT"), "AT\r\r\nOK\r\n");
}

TEST(ModemSimFaults, SlowAndSplitAnswersAreReleasedInOrder) {
  Modem m;
  m.cmd("ATE0");
  m.sim.faults().delayMs = 500;
  m.sim.faults().splitBytes = 4;
  m.sim.faults().splitPauseMs = 10;
  m.sim.receive("AT+CSQ\r", m.now);
  EXPECT_EQ(m.sim.takeOutput(m.now + 499), "");
  EXPECT_EQ(m.sim.nextDue(), m.now + 500);
  EXPECT_EQ(m.sim.takeOutput(m.now + 500), "\r\n+C");
  EXPECT_EQ(m.sim.takeOutput(m.now + 515), "SQ: ");
  m.sim.receive("AT\r", m.now + 515);  // queued behind the rest of the first answer
  EXPECT_EQ(m.sim.takeOutput(m.now + 2000), "20,99\r\n\r\nOK\r\n\r\nOK\r\n");
  EXPECT_FALSE(m.sim.nextDue().has_value());
}

TEST(ModemSimFaults, AnswersLateByCommandOrAtRandomAndDropsAfterAGivenAnswer) {
  Modem m;
  m.cmd("ATE0");
  QString error;
  for (const char* line : {"delay 100-300", "delay-on AT+CPMS* 2500"})
    ASSERT_TRUE(applyFaultCommand(m.sim.faults(), QString::fromLatin1(line), &error)) << line;
  EXPECT_FALSE(applyFaultCommand(m.sim.faults(), QStringLiteral("delay 300-100"), &error));
  m.sim.receive("AT+CPMS=\"ME\"\r", m.now);
  EXPECT_EQ(m.sim.takeOutput(m.now + 2499), "");
  EXPECT_TRUE(m.sim.takeOutput(m.now + 2500).endsWith("OK\r\n"));
  m.now += 3000;
  QList<int> delays;
  for (int i = 0; i < 20; ++i) {
    m.sim.receive("AT\r", m.now);
    delays << static_cast<int>(*m.sim.nextDue() - m.now);
    m.sim.takeOutput(m.now + 300);
  }
  EXPECT_TRUE(
      std::all_of(delays.begin(), delays.end(), [](int d) { return d >= 100 && d <= 300; }));
  EXPECT_GT(std::set<int>(delays.begin(), delays.end()).size(), 5u);

  // The answer goes out, then the link drops; once only.
  m.sim.linkFaults().dropAfterAnswer = {"AT+CMGD=1"};
  m.sim.receive("AT+CMGD=1\r", m.now);
  EXPECT_FALSE(m.sim.takeHangup());
  EXPECT_FALSE(m.sim.takeOutput(m.now + 300).isEmpty());
  EXPECT_TRUE(m.sim.takeHangup());
  m.sim.connectionOpened();
  m.sim.receive("AT+CMGD=1\r", m.now);
  m.sim.takeOutput(m.now + 300);
  EXPECT_FALSE(m.sim.takeHangup());
}

TEST(ModemSimFaults, ControlCommands) {
  Faults f;
  QString error;
  for (const char* line : {"busy on", "error-on AT+CPMS=\"ME\"", "cms-error 21", "high-bytes on",
                           "drop-after 5", "delay 200", "split 3 20", "silent on"})
    EXPECT_TRUE(applyFaultCommand(f, QString::fromLatin1(line), &error)) << line;
  EXPECT_EQ(f.cpas, 3);
  EXPECT_TRUE(f.answersError("at+cpms=\"me\""));
  EXPECT_FALSE(f.answersError("AT+CPMS=\"SM\""));
  EXPECT_EQ(f.cmsError, 21);
  EXPECT_EQ(f.splitBytes, 3);
  EXPECT_EQ(f.splitPauseMs, 20);
  EXPECT_TRUE(f.silent && f.highBytes && f.dropAfter == 5 && f.delayMs == 200);
  EXPECT_TRUE(applyFaultCommand(f, QStringLiteral("error-off all"), &error));
  EXPECT_TRUE(f.errorOn.isEmpty());
  EXPECT_FALSE(applyFaultCommand(f, QStringLiteral("delay soon"), &error));
  EXPECT_FALSE(applyFaultCommand(f, QStringLiteral("explode"), &error));
  EXPECT_TRUE(applyFaultCommand(f, QStringLiteral("reset"), &error));
  EXPECT_FALSE(f.silent);
}

TEST(ModemSimInput, ArbitraryBytesNeverBreakTheModem) {
  const std::vector<QByteArray> tokens = {
      "AT",      "+CMGS=",   "+CMGL=",   "+CMGD=",  "+CPMS=", "+CSCS=", "+CSMP=",
      "+CMGF=0", "+CMGF=1",  "\"",       ",",       "?",      "=",      "\r",
      "\n",      "\x1a",     "\x1b",     "\b",      "0",      "7",      "25",
      "FF",      "05000301", "\"UCS2\"", "\"ALL\"", "\"ME\"", "\xFF",   QByteArray(1, '\0')};
  Modem m;
  m.store(QStringLiteral("keep"));
  std::uint32_t seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    m.sim.receive(tokens[(seed >> 16) % tokens.size()], m.now);
    if (i % 100 == 0) m.sim.takeOutput(m.now += 10);
  }
  m.sim.takeSent();
  EXPECT_EQ(m.sim.feed("\x1b\rATE0\rAT\r", m.now).right(6), "\r\nOK\r\n");
}

TEST(ModemSimInput, InjectLinesArgumentsAndFileTail) {
  QString error;
  std::optional<Injection> sms = parseInjectLine(
      QStringLiteral("+420777\tHello |world\\n\tconcat,ucs2,ME"), Storage::SM, &error);
  ASSERT_TRUE(sms);
  EXPECT_EQ(sms->parts, (QStringList{QStringLiteral("Hello "), QStringLiteral("world\n")}));
  EXPECT_EQ(sms->coding, Coding::Ucs2);
  EXPECT_EQ(sms->storage, Storage::ME);
  EXPECT_FALSE(parseInjectLine(QStringLiteral("+420777 no tab"), Storage::SM, &error));
  EXPECT_FALSE(parseInjectLine(QStringLiteral("+420777\tx\tloud"), Storage::SM, &error));
  sms =
      parseSmsArgument(QStringLiteral("+420777:a|b: c"), Coding::Auto, false, Storage::SM, &error);
  ASSERT_TRUE(sms);
  EXPECT_EQ(sms->text, "a|b: c");  // "|" separates parts only in concatenated messages

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("inject.txt"));
  FileTail tail(path);
  EXPECT_TRUE(tail.readNewLines().isEmpty());  // no file yet
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::Append));
  file.write("one\r\ntw");
  file.flush();
  EXPECT_EQ(tail.readNewLines(), QStringList{QStringLiteral("one")});
  file.write("o\n\nthree\n");
  file.flush();
  EXPECT_EQ(tail.readNewLines(), (QStringList{QStringLiteral("two"), QStringLiteral("three")}));
  file.resize(0);
  file.write("four\n");
  file.flush();
  EXPECT_EQ(tail.readNewLines(), QStringList{QStringLiteral("four")});
}

}  // namespace
}  // namespace kolvane::modemsim

namespace kolvane::modemsim {
namespace {

TEST(ModemSimFaults, StallInsideTheFirstBodyOnce) {
  Modem m;
  m.store(QStringLiteral("Hello"));
  m.quietCmd("AT+CMGF=1");
  m.sim.faults().stallBodyMs = 3000;
  EXPECT_EQ(m.cmd("AT+CMGL=\"ALL\""),
            "\r\n+CMGL: 1,\"REC UNREAD\",\"+420777123456\",,\"24/05/01,10:20:30+08\"\r\nHe");
  m.now += 2999;
  EXPECT_EQ(m.sim.takeOutput(m.now), "");
  m.now += 1;
  EXPECT_EQ(m.sim.takeOutput(m.now), "llo\r\n\r\nOK\r\n");
  EXPECT_TRUE(m.cmd("AT+CMGL=\"ALL\"").endsWith("Hello\r\n\r\nOK\r\n"));  // once only
}

}  // namespace
}  // namespace kolvane::modemsim

namespace kolvane::modemsim {
namespace {

TEST(ModemSimSim, PinThreeTriesThenPukThenNewPin) {
  ModemConfig config;
  config.simPin = QStringLiteral("1234");
  Modem m(config);
  m.cmd("ATE0");
  EXPECT_EQ(m.cmd("AT+CPIN?"), "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CMGL=4"), "\r\n+CMS ERROR: 311\r\n");  // messages stay locked
  for (const char* wrong : {"AT+CPIN=\"0000\"", "AT+CPIN=\"1111\""})
    EXPECT_EQ(m.cmd(wrong), "\r\nERROR\r\n");
  EXPECT_EQ(m.sim.pinTriesLeft(), 1);
  EXPECT_EQ(m.cmd("AT+CPIN=\"2222\""), "\r\nERROR\r\n");
  EXPECT_EQ(m.cmd("AT+CPIN?"), "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CPIN=\"1234\""), "\r\nERROR\r\n");  // the right PIN is too late now
  m.sim.connectionOpened();                               // the SIM stays locked
  EXPECT_EQ(m.cmd("AT+CPIN=\"12345678\",\"4321\""), "\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CPIN=\"4321\""), "\r\nERROR\r\n");  // nothing to unlock
  EXPECT_EQ(m.sim.pinTriesLeft(), 3);
}

// The SIM's tries are told as they change, so they outlive the simulator; a SIM busy after its
// PIN or a power-up, a missing SIM and a module booting answer as real ones do.
TEST(ModemSimSim, TriesKeptBusyMissingAndBooting) {
  ModemConfig config;
  config.simPin = QStringLiteral("1234");
  config.pinTries = 2;  // as a state file left them
  QList<int> told;
  config.simChanged = [&](int tries, const QString&) { told << tries; };
  Modem m(config);
  m.cmd("ATE0");
  m.cmd("AT+CMEE=1");
  EXPECT_EQ(m.cmd("AT+CPIN=\"0000\""), "\r\n+CME ERROR: 16\r\n");
  m.sim.faults().simBusyMs = 4000;
  EXPECT_EQ(m.cmd("AT+CPIN?"), "\r\n+CME ERROR: 14\r\n");  // still reading itself after power-on
  m.now += 4000;
  EXPECT_EQ(m.cmd("AT+CPIN=\"1234\""), "\r\nOK\r\n");
  EXPECT_EQ(told, (QList<int>{1, 3}));
  m.now += 3999;
  EXPECT_EQ(m.cmd("AT+CPIN?"), "\r\n+CME ERROR: 14\r\n");
  EXPECT_EQ(m.cmd("AT+CMGL=4"), "\r\n+CMS ERROR: 314\r\n");
  m.now += 1;
  EXPECT_EQ(m.cmd("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");

  m.sim.faults().noSim = true;
  EXPECT_EQ(m.cmd("AT+CPIN?"), "\r\n+CME ERROR: 10\r\n");
  EXPECT_EQ(m.cmd("AT+CPMS=\"SM\""), "\r\n+CMS ERROR: 310\r\n");
  m.sim.faults().noSim = false;

  m.sim.faults().cnmiBootMs = 3000;
  m.sim.faults().simBusyMs = 0;
  EXPECT_EQ(m.cmd("AT+CNMI=2,1,0,0,0"), "\r\nOK\r\n");  // booted long ago
  m.sim.powerUp(m.now);
  m.sim.takeOutput(m.now + 5000);
  m.cmd("ATE0");
  EXPECT_EQ(m.cmd("AT+CPIN=\"1234\""), "\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CNMI=2,1,0,0,0"), "\r\n+CMS ERROR: 302\r\n");
  m.now += 3000;
  EXPECT_EQ(m.cmd("AT+CNMI=2,1,0,0,0"), "\r\nOK\r\n");

  config.pinTries = 0;  // used up: the SIM wants its PUK from the start
  Modem locked(config);
  EXPECT_EQ(locked.quietCmd("AT+CPIN?"), "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
}

TEST(ModemSimSim, RegistrationAndArrivalsAnnouncedAfterCnmi) {
  Modem m;
  m.cmd("ATE0");
  for (const int state : {1, 0, 2, 5}) {
    m.sim.faults().registration = state;
    EXPECT_EQ(m.cmd("AT+CREG?"), "\r\n+CREG: 0," + QByteArray::number(state) + "\r\n\r\nOK\r\n");
  }
  m.store(QStringLiteral("quiet"));
  EXPECT_EQ(m.sim.takeOutput(m.now), "");
  EXPECT_EQ(m.cmd("AT+CNMI=2,2,0,0,0"), "\r\n+CMS ERROR: 303\r\n");
  EXPECT_EQ(m.cmd("AT+CNMI=2,1,0,0,0"), "\r\nOK\r\n");
  m.store(QStringLiteral("loud"));
  EXPECT_EQ(m.sim.takeOutput(m.now), "\r\n+CMTI: \"SM\",2\r\n");
  m.cmd("ATZ");
  m.store(QStringLiteral("quiet again"));
  EXPECT_EQ(m.sim.takeOutput(m.now), "");
}

TEST(ModemSimFaults, UnsolicitedCodesAtTheirRateAndBeforeThePrompt) {
  Modem m;
  m.quietCmd("AT+CMGF=1");
  m.sim.faults().unsolicitedMs = 150;
  EXPECT_EQ(m.sim.takeOutput(m.now), "");
  EXPECT_EQ(m.sim.nextDue(), m.now + 150);
  EXPECT_EQ(m.sim.takeOutput(m.now + 300), "\r\nRING\r\n\r\n+CLIP: \"+420777000999\",145,,,,0\r\n");
  m.now += 300;
  const QByteArray prompt = m.cmd("AT+CMGS=\"+420777000111\"");
  EXPECT_TRUE(prompt.startsWith("\r\n+CRING: VOICE\r\n")) << prompt.toStdString();
  EXPECT_TRUE(prompt.endsWith("\r\n> "));
  EXPECT_EQ(m.sim.feed("hello\x1a", m.now).left(10), "\r\n+CMGS: 0");
  EXPECT_EQ(m.onlySent().text, QStringLiteral("hello"));
  m.sim.faults().unsolicitedMs = 0;
  EXPECT_EQ(m.sim.takeOutput(m.now + 1000), "");
}

}  // namespace
}  // namespace kolvane::modemsim

namespace kolvane::modemsim {
namespace {

// The device keeps its state whatever the connection does: a prompt left open takes what comes
// as text until ESC; what stands before "AT" on a line is dropped.
TEST(ModemSimDevice, StateSurvivesTheConnectionAndPowerUpResetsIt) {
  ModemConfig config;
  config.leftAtPrompt = true;
  Modem m(config);
  EXPECT_EQ(m.cmd("AT"), "AT\r");  // typed into the body
  m.sim.connectionOpened(m.now);
  EXPECT_EQ(m.sim.feed("\x1B", m.now), "\r\nOK\r\n");
  EXPECT_EQ(m.sim.feed("\x1B"
                       "AT\r",
                       m.now),
            "\x1B"
            "AT\r\r\nOK\r\n");
  EXPECT_TRUE(m.sim.takeSent().empty());

  m.cmd("AT+CMGF=1");
  EXPECT_EQ(m.cmd("AT+CMGS=\"+420777\""), "AT+CMGS=\"+420777\"\r\r\n> ");
  m.sim.connectionOpened(m.now);
  EXPECT_EQ(m.sim.feed("Hi\x1A", m.now), "Hi\r\n+CMGS: 0\r\n\r\nOK\r\n");

  // Switched off and on: echo on, the prompt gone, the boot lines one after the other.
  m.cmd("ATE0");
  m.cmd("AT+CMGS=\"+420777\"");
  m.sim.powerUp(m.now);
  EXPECT_EQ(m.sim.takeOutput(m.now + 1200), "\r\nRDY\r\n\r\n+CPIN: READY\r\n");
  EXPECT_EQ(m.sim.takeOutput(m.now + 2400), "\r\nCall Ready\r\n\r\nSMS Ready\r\n");
  EXPECT_TRUE(m.sim.echo());
  EXPECT_FALSE(m.sim.textMode());
  EXPECT_EQ(m.cmd("AT"), "AT\r\r\nOK\r\n");
}

TEST(ModemSimDevice, HabitsOfModulesAndSticks) {
  Modem m;
  QString error;
  for (const char* line : {"unsupported AT+CSDH=1", "cme-error AT+CNMI* 3", "echo-stuck on",
                           "prompt-codes Call Ready|+CIEV: 2,3"})
    ASSERT_TRUE(applyFaultCommand(m.sim.faults(), QString::fromLatin1(line), &error)) << line;
  EXPECT_EQ(m.cmd("ATE0"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(m.cmd("AT+CSDH=1"), "AT+CSDH=1\r\r\nCOMMAND NOT SUPPORT\r\n");
  EXPECT_EQ(m.cmd("AT+CNMI=2,1"), "AT+CNMI=2,1\r\r\nERROR\r\n");
  m.cmd("AT+CMEE=1");
  EXPECT_EQ(m.cmd("AT+CNMI=2,1"), "AT+CNMI=2,1\r\r\n+CME ERROR: 3\r\n");
  m.cmd("AT+CMGF=1");
  EXPECT_EQ(m.cmd("AT+CMGS=\"+420\""), "AT+CMGS=\"+420\"\r\r\nCall Ready\r\n\r\n> ");
  m.sim.feed("\x1B", m.now);
  EXPECT_EQ(m.cmd("AT+CMGS=\"+420\""), "AT+CMGS=\"+420\"\r\r\n+CIEV: 2,3\r\n\r\n> ");

  // Noise spread over its time at a new connection.
  m.sim.linkFaults().noiseBytes = 1000;
  m.sim.linkFaults().noiseSpreadMs = 100;
  m.sim.connectionOpened(m.now);
  EXPECT_EQ(m.sim.takeOutput(m.now).size(), 200);
  EXPECT_EQ(m.sim.takeOutput(m.now + 100).size(), 800);
}

}  // namespace
}  // namespace kolvane::modemsim
