#include <gtest/gtest.h>

#include <algorithm>

#include "unit/qt_print.h"

#include "core/gateway_start.h"
#include "gsm/pdu_codec.h"
#include "mail/mail_rec.h"
#include "mail/pseudo_address.h"
#include "mail/quoted_printable.h"
#include "mail/sms_report.h"
#include "support/link_test_gateway.h"
#include "support/sim_modem_device.h"

using namespace kolvane;

namespace {

using List = QList<QByteArray>;

const QByteArray kCtrlZ("\x1A");
const QString kCzech = QStringLiteral("Příliš žluťoučký kůň");

// A gateway whose serial port is the simulated modem, in simulated time; one relation per
// Start press, no phone storage, the file drop every second.
struct Sending {
  explicit Sending(const QByteArray& cfg = {})
      : t("ComTcp=0\nInterval=0\nMemCheOn=0\nSendSMSDelay=100\nSendFiTxtDelay=1\n"
          "CmdOnNonDelivery=nondelivery.sh\n" +
          cfg) {
    sim = std::make_shared<SimModem>(t.clock);
    t.g().hooks().openSerial = [this](const SerialParams&) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<SimModemDevice>(sim);
    };
  }

  // Presses Start and runs the relation to its end; the commands after the listing.
  List relation() {
    sim->commands.clear();
    BBt1Click(t.g(), StartSender::Button);
    EXPECT_TRUE(t.loop().runUntil([&] { return t.gs().RelationIdle; }, 120000));
    const qsizetype listed =
        sim->commands.indexOf(t.gs().cfg.PDUText ? "AT+CMGL=\"ALL\"" : "AT+CMGL=4");
    EXPECT_GE(listed, 0);
    return sim->commands.mid(listed + 1);
  }

  QByteArray read(const char* name) const {
    QFile f(t.path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void write(const char* name, const QByteArray& bytes) const {
    QFile f(t.path(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Append)) f.write(bytes);
  }
  // Lines of a traffic log without their date and time.
  List traffic(const QString& mask) {
    QFile f(t.g().traffic().pathFor(mask));
    List out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
      if (!line.isEmpty()) out << line.mid(20).chopped(1);
    }
    return out;
  }
  QList<tMailRec> records(const char* name) const {
    QList<tMailRec> out;
    const QByteArray data = read(name);
    for (qsizetype off = 0; off < data.size();) {
      const tMailRec r = StrToMailRec(data.mid(off), {"Report", "SendTime", {}, t.clock.now()});
      if (r.EndPos < 0) break;
      out << r;
      off += r.EndPos + 1;
    }
    return out;
  }
  QString savedRunPos() const { return IniFile(t.path("Kolvane.ini")).value("CFG", "SmtpRunPos"); }
  // Number and text of every SMS the modem sent.
  QStringList sent() {
    QStringList out;
    for (const modemsim::SentSms& s : sim->modem.takeSent()) {
      out << s.number + '|' + s.text + (s.pduMode ? "|pdu" : "|text");
    }
    return out;
  }

  LinkTestGateway t;
  std::shared_ptr<SimModem> sim;
};

QByteArray jobRecord(const QByteArray& id, const QByteArray& number, const QByteArray& text,
                     const QByteArray& subj = "mail job") {
  tMailRec r;
  r.PosID = id;
  r.NamePC = "pc7";
  r.From = "<anna@office.lan>";
  r.Toe = PseudoRecipient(number);
  r.Subj = subj;
  r.MimeBody = QpEncode(text);
  return MailRecToStr(r);
}

QByteArray ucs2Hex(const QString& text) {
  QByteArray hex;
  for (const QChar c : text) hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
  return hex.toUpper();
}

}  // namespace

TEST(Sending, DroppedLinesGoOutInTextMode) {
  Sending s("Debug=1\n");
  s.write("SendUp.txt", "+420777111222\tHello one\r\n+420777333444\tHello two\r\n");
  const List commands = s.relation();
  const List expected{"AT+CMGS=\"+420777111222\"", "Hello one" + kCtrlZ,
                      "AT+CMGS=\"+420777333444\"", "Hello two" + kCtrlZ};
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(s.sent(),
            (QStringList{"+420777111222|Hello one|text", "+420777333444|Hello two|text"}));
  const QStringList shown = s.t.shown();
  EXPECT_EQ(shown.count("->>"), 2);  // the prompt before each body
  EXPECT_TRUE(shown.contains("GSM gateway dispatched SMS to +420777333444"));
  EXPECT_EQ(shown.count("SMTP server no mails to send for GSM gateway"), 1);
  EXPECT_EQ(s.t.gs().cfg.SmsOutCnt, 2);
  EXPECT_EQ(s.traffic(s.t.gs().cfg.SentOutTxtMask),
            (List{"+420777111222\tHello one", "+420777333444\tHello two"}));
  // The run file is gone and its position is back at the start, also in the settings file.
  EXPECT_FALSE(QFile::exists(s.t.path("Smtp.Run")));
  EXPECT_FALSE(QFile::exists(s.t.path("Smtp.Tmp")));
  EXPECT_EQ(s.savedRunPos(), "0");
}

TEST(Sending, EveryAdvanceOfTheRunPositionReachesTheSettingsFile) {
  Sending s;
  const QByteArray store = jobRecord("261209000000", "+420777111222", "one") +
                           jobRecord("261209000001", "+420777111222", "two") +
                           jobRecord("261209000002", "+420777111222", "three");
  s.write("Smtp.Tmp", store);
  QList<std::int32_t> inMemory;
  QStringList inFile;
  int done = 0;
  BBt1Click(s.t.g(), StartSender::Button);
  s.t.loop().runUntil(
      [&] {
        // Right after each job the cycle has advanced; the file must already say so.
        if (s.t.gs().cfg.SmsOutCnt > done && !s.t.link().SmsSendDone && s.t.gs().SendPhaseDue) {
          done = s.t.gs().cfg.SmsOutCnt;
          inMemory << s.t.gs().cfg.SmtpRunPos;
          inFile << s.savedRunPos();
        }
        return s.t.gs().RelationIdle;
      },
      120000);
  ASSERT_EQ(inMemory.size(), 3);
  EXPECT_GT(inMemory[0], 0);
  EXPECT_LT(inMemory[0], inMemory[1]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(inFile[i], QString::number(inMemory[i]));
  // The reader moves on to the line feed that ends a record: the last job leaves 1 byte.
  EXPECT_EQ(inMemory[2], store.size() - 1);
  EXPECT_EQ(s.savedRunPos(), "0");
}

TEST(Sending, LfOnlyDropFileGoesOutInPduMode) {
  Sending s("PDUText=0\n");
  s.write("SendUp.txt", "+420777111222\tFirst in PDU\n420777333444\tSecond in PDU\n");
  const List commands = s.relation();
  ASSERT_EQ(commands.size(), 4);
  const QByteArray smsc = s.t.link().SmscNo;
  for (int i = 0; i < 2; ++i) {
    SmsSubmitJob job;
    job.SmscNo = smsc;
    job.JobTelNo = i == 0 ? "+420777111222" : "420777333444";
    job.JobText = i == 0 ? "First in PDU" : "Second in PDU";
    const QByteArray pdu = EncodeSmsSubmit(job);
    const int smscOctets = pdu.left(2).toInt(nullptr, 16);
    EXPECT_EQ(commands[2 * i], "AT+CMGS=" + QByteArray::number(pdu.size() / 2 - 1 - smscOctets));
    EXPECT_EQ(commands[2 * i + 1], pdu + kCtrlZ);
  }
  EXPECT_EQ(s.sent(),
            (QStringList{"+420777111222|First in PDU|pdu", "420777333444|Second in PDU|pdu"}));
  EXPECT_EQ(s.t.gs().cfg.SmsOutCnt, 2);
}

TEST(Sending, CmsErrorGivesANonDeliveryReportAndTheRunGoesOn) {
  Sending s;
  s.sim->modem.faults().cmsError = 28;
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222", "Lost = gone", "Order 42") +
                          jobRecord("261209000001", "+420777333444", "Also lost"));
  const List commands = s.relation();
  EXPECT_EQ(commands, (List{"AT+CMGS=\"+420777111222\"", "Lost = gone" + kCtrlZ,
                            "AT+CMGS=\"+420777333444\"", "Also lost" + kCtrlZ}));
  const QStringList shown = s.t.shown();
  EXPECT_TRUE(shown.contains("GSM gateway: non-delivery SMS to +420777111222"));
  EXPECT_EQ(s.t.gs().cfg.SmsOutCnt, 0);
  EXPECT_EQ(s.t.commands, (QStringList{"nondelivery.sh", "nondelivery.sh"}));

  const QList<tMailRec> reports = s.records("Pop3.Tmp");
  ASSERT_EQ(reports.size(), 2);
  EXPECT_EQ(reports[0].PosID, "261209000000");
  EXPECT_EQ(reports[1].PosID, "261209000001");
  EXPECT_EQ(reports[0].NamePC, "pc7");
  EXPECT_EQ(reports[0].From, "<kolvane@kolvane.lan>");
  EXPECT_EQ(reports[0].Toe, "<+420777111222>");
  EXPECT_EQ(reports[0].Subj, "Non-delivery SMS: Order 42");
  EXPECT_TRUE(QpDecode(reports[0].MimeBody).endsWith("Your text:\r\nLost = gone"));
  EXPECT_EQ(s.traffic(s.t.gs().cfg.Pop3TxtMask),
            (List{"+420777111222\t!Non-delivery SMS: !Lost = gone",
                  "+420777333444\t!Non-delivery SMS: !Also lost"}));
  EXPECT_TRUE(s.t.gs().Lamps.pop3Bits & kLampStore);
  // Reported jobs are done with: nothing is left to send again.
  EXPECT_FALSE(QFile::exists(s.t.path("Smtp.Run")));
}

TEST(Sending, UnfitJobsAndMishmashAreSetAsideAndTheRestIsSent) {
  Sending s;
  const QByteArray tooLong(170, 'x');
  const QByteArray truncated =
      "PosID: 261209000009\r\nNamePC: pc7\r\nFrom: <anna@office.lan>\r\nTo: <sms@+42077";
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222", tooLong, "Too long") +
                          jobRecord("261209000001", "", "No number", "Nobody") +
                          jobRecord("261209000002", "+420777333444", "Fits") + truncated);
  const List commands = s.relation();
  EXPECT_EQ(commands, (List{"AT+CMGS=\"+420777333444\"", "Fits" + kCtrlZ}));
  EXPECT_EQ(s.sent(), QStringList{"+420777333444|Fits|text"});

  const QList<tMailRec> back = s.records("Pop3.Tmp");
  ASSERT_EQ(back.size(), 2);
  EXPECT_EQ(back[0].Subj, "Undispatched SMS: Too long");
  EXPECT_TRUE(QpDecode(back[0].MimeBody).endsWith("Your text:\r\n" + tooLong));
  EXPECT_EQ(back[1].Subj, "Undispatched SMS: Nobody");
  const QStringList shown = s.t.shown();
  EXPECT_TRUE(shown.contains("Undispatched SMS: Too long"));
  EXPECT_TRUE(shown.contains("!!! Smtp.Run - Mishmash in file !!!"));
  const QByteArray mishmash = s.read("MishmashSmtp.Run");
  // The chunk starts at the line feed that ended the record before it.
  EXPECT_TRUE(mishmash.endsWith("->|\n" + truncated + "|<-\r\n"));
  EXPECT_EQ(mishmash.count("->|"), 1);
}

TEST(Sending, Ucs2JobSwitchesTheCharacterSetAndBack) {
  Sending s;
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222", "Plain first") +
                          jobRecord("261209000001", "+420777333444", kCzech.toUtf8()));
  const List commands = s.relation();
  const List expected{"AT+CMGS=\"+420777111222\"",
                      "Plain first" + kCtrlZ,
                      "AT+CSCS=\"UCS2\"",
                      "AT+CSMP=17,167,0,8",
                      "AT+CMGS=\"" + ucs2Hex("+420777333444") + '"',
                      ucs2Hex(kCzech) + kCtrlZ,
                      "AT+CSCS=\"GSM\"",
                      "AT+CSMP=17,167,0,0"};
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(s.sent(),
            (QStringList{"+420777111222|Plain first|text", "+420777333444|" + kCzech + "|text"}));
  EXPECT_EQ(s.t.link().AutPhase, 3);
  EXPECT_FALSE(s.t.gs().JobUCS2);
}

// A run file left over from an earlier relation ends with a UCS2 job, and the mail store
// taken over right after it starts with a GSM job: that job sets the character set itself.
TEST(Sending, StoreTakenOverAfterAUcs2RunFileSetsItsOwnCharacterSet) {
  Sending s;
  s.write("Smtp.Run", jobRecord("261208000004", "+420777333444", kCzech.toUtf8()));
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222", "Plain after"));
  const List commands = s.relation();
  const List expected{"AT+CSCS=\"UCS2\"",
                      "AT+CSMP=17,167,0,8",
                      "AT+CMGS=\"" + ucs2Hex("+420777333444") + '"',
                      ucs2Hex(kCzech) + kCtrlZ,
                      "AT+CSCS=\"GSM\"",
                      "AT+CSMP=17,167,0,0",
                      "AT+CMGS=\"+420777111222\"",
                      "Plain after" + kCtrlZ};
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(s.sent(),
            (QStringList{"+420777333444|" + kCzech + "|text", "+420777111222|Plain after|text"}));
}

TEST(Sending, CommandLineTextsAreSentAndLeaveTheSettingsFile) {
  Sending s("RunParamAsSMS=1\nRunParDefTelNo=+420777555666\n");
  IniFile ini(s.t.path("Kolvane.ini"));
  ini.setValue("ParamAsSMS", "1", "From the command line");
  ini.setValue("ParamAsSMS", "2", kCzech);
  const List commands = s.relation();
  EXPECT_EQ(commands.mid(0, 2),
            (List{"AT+CMGS=\"+420777555666\"", "From the command line" + kCtrlZ}));
  EXPECT_EQ(s.sent(), (QStringList{"+420777555666|From the command line|text",
                                   "+420777555666|" + kCzech + "|text"}));
  EXPECT_EQ(s.t.gs().JobSubj, "Kolvane sends SMS message from command line");
  EXPECT_EQ(s.t.gs().JobNamePC, "localhost");
  EXPECT_TRUE(ini.read().entries("ParamAsSMS").isEmpty());
}

// A network error that may pass: the job waits for its try a minute later while the jobs
// behind it go out; a refused number is reported at once, naming why, with the text as
// written, from the gateway, a reply going to the number.
TEST(Sending, TemporaryErrorsAreRetriedAtTheirTimeOncePermanentOnesReported) {
  Sending s;
  s.sim->modem.faults().sendScript = {"38", "21"};
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222", "Try again") +
                          jobRecord("261209000001", "+420777333444", "Rejected", "Order 7") +
                          jobRecord("261209000002", "+420777555666", "Goes at once"));
  s.relation();
  EXPECT_EQ(s.sent(), QStringList{"+420777555666|Goes at once|text"});
  const QStringList shown = s.t.shown();
  EXPECT_TRUE(shown.contains(
      "SMS to +420777111222 not sent (+CMS ERROR: 38 (network out of order)), next try in 1 min"))
      << shown.join(QLatin1Char(10)).toStdString();
  EXPECT_FALSE(shown.contains("GSM gateway: non-delivery SMS to +420777111222"));
  EXPECT_EQ(s.t.commands, QStringList{"nondelivery.sh"});

  const QList<tMailRec> reports = s.records("Pop3.Tmp");
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0].Subj, "Non-delivery SMS: Order 7");
  EXPECT_EQ(reports[0].From, "<kolvane@kolvane.lan>");
  EXPECT_EQ(reports[0].ReplyTo, "<+420777333444@kolvane.lan>");
  const QString body = QString::fromUtf8(QpDecode(reports[0].MimeBody));
  EXPECT_TRUE(body.startsWith(
      "The SMS to +420777333444 was not sent.\r\n"
      "Reason: +CMS ERROR: 21 (the network rejected the SMS)\r\nAttempts:\r\n  2026-12-09 10:0"))
      << body.toStdString();
  EXPECT_TRUE(body.endsWith("\r\n\r\nYour text:\r\nRejected")) << body.toStdString();

  const QList<tMailRec> waiting = s.records("SmtpWait.Tmp");
  ASSERT_EQ(waiting.size(), 1);
  EXPECT_EQ(waiting[0].PosID, "261209000000");
  ASSERT_EQ(waiting[0].Attempts.size(), 1);
  EXPECT_TRUE(waiting[0].Attempts[0].endsWith(" +CMS ERROR: 38"));
  const auto tried = ParseAttempt(waiting[0].Attempts[0]);
  ASSERT_TRUE(tried);
  EXPECT_NEAR(waiting[0].SendTime, tried->at + 1.0 / 1440, 1.0 / 86400);

  s.relation();  // before its time
  EXPECT_TRUE(s.sent().isEmpty());
  s.t.loop().run(61000);
  s.relation();
  EXPECT_EQ(s.sent(), QStringList{"+420777111222|Try again|text"});
  s.t.loop().run(61000);
  s.relation();
  EXPECT_TRUE(s.sent().isEmpty());
  EXPECT_EQ(s.records("Pop3.Tmp").size(), 1);
  EXPECT_FALSE(QFile::exists(s.t.path("SmtpWait.Tmp")));
}

// A send whose result never comes waits for its retry like a network error and goes once then.
TEST(Sending, AResultThatNeverComesIsRetriedOnce) {
  Sending s("SendResultTimeout=3\n");
  s.sim->modem.linkFaults().silentBodies = 1;
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222", "Never answered"));
  s.relation();
  EXPECT_TRUE(s.sent().isEmpty());
  EXPECT_TRUE(
      s.t.shown().contains("SMS to +420777111222 not sent (no result of the send within "
                           "3 s), next try in 1 min"));
  QList<tMailRec> waiting = s.records("SmtpWait.Tmp");
  ASSERT_EQ(waiting.size(), 1);
  ASSERT_EQ(waiting[0].Attempts.size(), 1);
  EXPECT_TRUE(waiting[0].Attempts[0].endsWith(" no result of the send within 3 s"));
  EXPECT_NEAR(waiting[0].SendTime, ParseAttempt(waiting[0].Attempts[0])->at + 1.0 / 1440,
              1.0 / 86400);
  s.t.loop().run(61000);
  s.relation();
  EXPECT_EQ(s.sent(), QStringList{"+420777111222|Never answered|text"});

  // A late "+CMGS" counting the job sent is shown over the pseudo-terminal with the built
  // program (test_real_networks).
}

// Tries after 1, 5 and 15 minutes, and then the hour is over: one report naming every try.
TEST(Sending, RetriesEndWithTheRetryHoursAndOneReport) {
  Sending s("SendRetryHours=1\nPDUText=0\n");
  s.sim->modem.faults().cmsError = 42;
  const QByteArray part = QByteArray("\x05\x00\x03\x2A\x02\x02\x00", 7) + "second half";
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222", part, "Long"));
  int tries = 0;
  for (int minute = 0; minute < 90 && s.records("Pop3.Tmp").isEmpty(); ++minute) {
    s.relation();
    tries += static_cast<int>(
        std::count_if(s.sim->commands.begin(), s.sim->commands.end(),
                      [](const QByteArray& c) { return c.startsWith("AT+CMGS="); }));
    s.t.loop().run(60000);
  }
  EXPECT_EQ(tries, 4);
  const QList<tMailRec> reports = s.records("Pop3.Tmp");
  ASSERT_EQ(reports.size(), 1);
  const QString body = QString::fromUtf8(QpDecode(reports[0].MimeBody));
  EXPECT_EQ(body.count("  +CMS ERROR: 42 (congestion)\r\n"), 4) << body.toStdString();
  EXPECT_TRUE(body.contains("Reason: +CMS ERROR: 42 (congestion); tried for 1 hours"))
      << body.toStdString();
  EXPECT_TRUE(body.contains("Part 2 of 2 of a long SMS.")) << body.toStdString();
  EXPECT_TRUE(body.endsWith("Your text:\r\nsecond half")) << body.toStdString();
  EXPECT_FALSE(QFile::exists(s.t.path("SmtpWait.Tmp")));
}

// A part of a concatenated SMS tried again keeps its reference: the phone joins it.
TEST(Sending, APartRetriedKeepsItsReference) {
  Sending s("PDUText=0\n");
  s.sim->modem.faults().sendScript = {"ok", "332"};
  s.write("Smtp.Tmp", jobRecord("261209000000", "+420777111222",
                                QByteArray("\x05\x00\x03\x2A\x02\x01\x00", 7) + "First half, ") +
                          jobRecord("261209000001", "+420777111222",
                                    QByteArray("\x05\x00\x03\x2A\x02\x02\x00", 7) + "second half"));
  s.relation();
  s.t.loop().run(61000);
  s.relation();
  const std::vector<modemsim::SentSms> sent = s.sim->modem.takeSent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].concat.reference, 0x2A);
  EXPECT_EQ(sent[1].concat.reference, 0x2A);
  EXPECT_EQ(sent[1].concat.part, 2);
  EXPECT_EQ(sent[1].text, "second half");
}
