#include <gtest/gtest.h>

#include <QFile>
#include <functional>

#include "core/gateway_start.h"
#include "support/link_test_gateway.h"
#include "support/sim_modem_device.h"

using namespace kolvane;

namespace {

// A gateway whose serial port is the simulated modem, in simulated time.
struct ModemRelation {
  explicit ModemRelation(const QByteArray& cfg, modemsim::ModemConfig config = {}) : t(cfg) {
    sim = std::make_shared<SimModem>(t.clock, std::move(config));
    t.g().hooks().openSerial = [this](const SerialParams&) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<SimModemDevice>(sim);
    };
  }
  void inject(const QString& sender, const QString& text,
              modemsim::Storage storage = modemsim::Storage::SM) {
    modemsim::Injection sms;
    sms.sender = sender;
    sms.text = text;
    sms.storage = storage;
    sim->modem.inject(sms, t.clock.tick());
  }
  int left(modemsim::Storage storage) { return sim->modem.storage(storage).used(); }
  QByteArray pop3Store() const {
    QFile f(t.path("Pop3.Tmp"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // Presses Start and runs until the relation has ended; returns the commands the modem saw.
  QList<QByteArray> relation(std::uint32_t maxMs = 60000) {
    sim->commands.clear();
    BBt1Click(t.g(), StartSender::Button);
    EXPECT_TRUE(t.gs().RelationOn);
    const bool closed = t.loop().runUntil([&] { return t.gs().RelationClosing; }, maxMs);
    EXPECT_TRUE(closed);
    // The idle end comes GsmTimeout + 1000 ms after the last activity, within one tick.
    const Tick quiet = t.clock.tick() - t.link().LastActTick;
    EXPECT_GE(quiet, t.link().GsmTimeout + 1000);
    EXPECT_LE(quiet, t.link().GsmTimeout + 1000 + 100);
    t.loop().runUntil([&] { return t.gs().RelationIdle; }, 2000);
    return sim->commands;
  }

  LinkTestGateway t;
  std::shared_ptr<SimModem> sim;
};

// A modem left at its prompt by anyone gets ESC first; errors are asked for as numbers.
const QList<QByteArray> kTextModeStart{"\x1B",
                                       "AT",
                                       "AT+CMEE=1",
                                       "AT+CPIN?",
                                       "AT+CREG?",
                                       "AT+CSCS=\"GSM\"",
                                       "AT+CSMP=17,167,0,0",
                                       "AT+CPAS",
                                       "ATE0",
                                       "AT+CSCA?",
                                       "AT+CMGF=1",
                                       "AT+CSDH=1",
                                       "AT+CSQ",
                                       "AT+CPMS=\"SM\"",
                                       "AT+CMGL=\"ALL\""};

}  // namespace

TEST(ModemRelation, TextModeRelationsWithTheSimulatedModem) {
  ModemRelation r("ComTcp=0\nComNo=3\nInterval=0\n");
  r.inject("+420777111222", "Hello there");
  r.inject("+420777333444", "Second message");

  const QList<QByteArray> first = r.relation();
  ASSERT_GE(first.size(), kTextModeStart.size());
  EXPECT_EQ(first.mid(0, kTextModeStart.size()), kTextModeStart);
  const QStringList shown = r.t.shown();
  EXPECT_TRUE(shown.contains("/dev/ttyS2 connected"));
  EXPECT_TRUE(shown.contains("GSM gateway connected"));
  EXPECT_TRUE(shown.contains("SMS operator No. \"+420600000100\""));
  EXPECT_TRUE(shown.contains("GSM signal quality: 68%"));
  EXPECT_TRUE(shown.contains("GSM gateway received 2 SMS to SIM"));
  EXPECT_TRUE(shown.contains("/dev/ttyS2 disconnected"));
  ASSERT_EQ(r.t.link().SmsRecvArr.size(), 0);  // freed after the listing

  // The service centre is asked once per run.
  const QList<QByteArray> second = r.relation();
  EXPECT_FALSE(second.contains("AT+CSCA?"));
  EXPECT_TRUE(second.contains("AT+CMGL=\"ALL\""));
  EXPECT_EQ(r.sim->opens, 2);
}

TEST(ModemRelation, PduModeRelation) {
  ModemRelation r("ComTcp=0\nInterval=0\nPDUText=0\n");
  r.inject("+420777111222", "Hello in PDU mode");
  const QList<QByteArray> commands = r.relation();
  EXPECT_TRUE(commands.contains("AT+CMGF=0"));
  EXPECT_FALSE(commands.contains("AT+CSDH=1"));
  EXPECT_TRUE(commands.contains("AT+CMGL=4"));
  EXPECT_FALSE(commands.contains("AT+CMGF=1"));
  EXPECT_TRUE(r.t.shown().contains("GSM gateway received 1 SMS to SIM"));
}

TEST(ModemRelation, SilentModemIsDeclaredInactive) {
  ModemRelation r("ComTcp=0\nInterval=0\nCmdOnConnectFailed=notify.sh\n");
  r.sim->modem.faults().silent = true;
  r.relation();
  EXPECT_EQ(r.sim->commands, (QList<QByteArray>{"\x1B", "AT", "AT", "AT"}));
  EXPECT_TRUE(r.t.shown().contains("GSM gateway inactive"));
  EXPECT_EQ(r.t.commands, QStringList{"notify.sh"});
}

// A modem that opens but never answers is one outage: one line and one run of its command, then
// a line an hour with the count; the first "OK" ends it.
TEST(ModemRelation, ASilentModemIsReportedOncePerOutage) {
  ModemRelation r(
      "ComTcp=0\nOnLine=1\nSmsIndication=0\nIntervalOnLine=3000\nMemCheOn=0\n"
      "CmdOnConnectFailed=alert.sh\n");
  r.sim->modem.faults().silent = true;
  r.t.gs().StartupDue = true;
  r.t.loop().run(61 * 60 * 1000);
  QStringList log = r.t.shown();
  EXPECT_EQ(log.count("GSM gateway inactive"), 1);
  const QStringList hourly = log.filter("GSM gateway inactive - ");
  ASSERT_EQ(hourly.size(), 1) << log.join('\n').toStdString();
  EXPECT_TRUE(hourly[0].endsWith(" times in the last hour"));
  EXPECT_EQ(r.t.commands, QStringList{"alert.sh"});

  r.sim->modem.faults().silent = false;
  ASSERT_TRUE(
      r.t.loop().runUntil([&] { return r.t.shown().contains("GSM gateway connected"); }, 20000));
  r.sim->modem.faults().silent = true;
  ASSERT_TRUE(
      r.t.loop().runUntil([&] { return r.t.shown().contains("GSM gateway inactive"); }, 30000));
  EXPECT_EQ(r.t.commands, (QStringList{"alert.sh", "alert.sh"}));
}

TEST(ModemRelation, OnLineAnnouncedSmsAreListedAtOnceWhileTheLinkStaysOpen) {
  ModemRelation r("ComTcp=0\nComNo=3\nOnLine=1\nIntervalOnLine=5000\nMemCheOn=0\n");
  BBt1Click(r.t.g(), StartSender::Button);
  ASSERT_TRUE(r.t.loop().runUntil([&] { return r.t.link().ReadPhaseDone; }, 20000));
  EXPECT_TRUE(r.t.link().IndicationOn);
  r.sim->commands.clear();
  r.t.loop().runUntil([] { return false; }, 20000);
  EXPECT_TRUE(r.t.gs().RelationOn);  // parked: four intervals without a command
  EXPECT_TRUE(r.sim->commands.isEmpty()) << r.sim->commands.size();

  // A job queued meanwhile leaves at the next interval, on the open link: the next look at the
  // drop file (10 s), a second for it to stand unchanged, the next interval (5 s).
  QFile drop(r.t.path("SendUp.txt"));
  ASSERT_TRUE(drop.open(QIODevice::WriteOnly));
  drop.write("+420777123456\tWhile parked\r\n");
  drop.close();
  ASSERT_TRUE(
      r.t.loop().runUntil([&] { return r.sim->commands.contains("While parked\x1A"); }, 17000));
  EXPECT_EQ(r.sim->commands.first(), "AT+CMGS=\"+420777123456\"");
  r.t.loop().run(3000);

  r.sim->commands.clear();
  r.inject("+420777111222", "Announced");
  ASSERT_TRUE(r.t.loop().runUntil([&] { return r.sim->commands.contains("AT+CMGD=1"); }, 5000));
  // Listed on the announcement: no kick-off and no interval came first.
  EXPECT_EQ(r.sim->commands.first(), "AT+CMGL=\"ALL\"");
  EXPECT_TRUE(r.t.shown().contains("GSM gateway received 1 SMS to SIM"));

  // A fresh round reads the device every minute.
  r.sim->commands.clear();
  ASSERT_TRUE(r.t.loop().runUntil([&] { return r.sim->commands.contains("AT+CPIN?"); }, 70000));
}

// Answers that come late are answers to the command they were asked by: after a rewrite the
// second answer is nobody's, so no listing is taken from another storage and nothing is
// deleted unread.
TEST(ModemRelation, LateAnswersLoseNoSmsAndDeleteEachOnce) {
  struct Case {
    const char* how;
    std::function<void(modemsim::Faults&)> fault;
  };
  const Case cases[] = {
      {"storage switch and signal 2.5 s late",
       [](modemsim::Faults& f) {
         f.delayOn = {{"AT+CPMS*", 2500}, {"AT+CSQ", 2500}};
       }},
      {"every answer 0-3 s late",
       [](modemsim::Faults& f) {
         f.delayMs = 0;
         f.delayMaxMs = 3000;
       }},
      {"every answer 2.5 s late", [](modemsim::Faults& f) { f.delayMs = 2500; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    ModemRelation r("ComTcp=0\nInterval=0\nMemCheOn=1\n");
    c.fault(r.sim->modem.faults());
    for (int i = 0; i < 3; ++i) {
      r.inject("+42077711100" + QString::number(i), "On the SIM " + QString::number(i));
      r.inject("+42077722200" + QString::number(i), "In the phone " + QString::number(i),
               modemsim::Storage::ME);
    }
    r.relation(600000);
    EXPECT_EQ(r.left(modemsim::Storage::SM), 0);
    EXPECT_EQ(r.left(modemsim::Storage::ME), 0);
    const QByteArray store = r.pop3Store();
    EXPECT_EQ(store.count("PosID: "), 6);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(store.count("On the SIM " + QByteArray::number(i)), 1);
      EXPECT_EQ(store.count("In the phone " + QByteArray::number(i)), 1);
    }
    const QStringList shown = r.t.shown();
    EXPECT_TRUE(shown.contains("GSM gateway received 3 SMS to SIM"))
        << shown.join(QChar(10)).toStdString();
    EXPECT_TRUE(shown.contains("GSM gateway received 3 SMS to memory"))
        << shown.join(QChar(10)).toStdString();
    EXPECT_FALSE(shown.contains("GSM gateway inactive"));
  }
}

// A link dropped right after a delete's answer leaves nothing in flight for the next relation.
TEST(ModemRelation, EveryRelationBeginsWithTheKickOff) {
  ModemRelation r("ComTcp=0\nInterval=0\nMemCheOn=0\n");
  r.inject("+420777111222", "First");
  r.inject("+420777333444", "Second");
  r.sim->modem.linkFaults().dropAfterAnswer = {"AT+CMGD=1"};
  BBt1Click(r.t.g(), StartSender::Button);
  ASSERT_TRUE(r.t.loop().runUntil([&] { return r.t.gs().RelationIdle; }, 60000));
  const QList<QByteArray> second = r.relation();
  ASSERT_GE(second.size(), 2);
  EXPECT_EQ(second.mid(0, 2), (QList<QByteArray>{"\x1B", "AT"}));
  EXPECT_EQ(r.left(modemsim::Storage::SM), 0);
  const QByteArray store = r.pop3Store();
  EXPECT_EQ(store.count("PosID: "), 2);
  EXPECT_EQ(store.count("Second"), 1);
}

// What the device sent before the relation began is nobody's answer.
TEST(ModemRelation, ReceiveBuffersAreClearedAtOpen) {
  ModemRelation r("ComTcp=0\nInterval=0\n");
  r.t.link().GsmRecvStr = "+CMGL: 1,\"REC READ\"";
  r.t.link().GsmSendStr = "AT+CMGD=2";
  r.t.link().GsmSendOn = true;
  BBt1Click(r.t.g(), StartSender::Button);
  EXPECT_TRUE(r.t.link().GsmRecvStr.isEmpty());
  EXPECT_FALSE(r.t.link().GsmSendOn);
  ASSERT_TRUE(r.t.loop().runUntil([&] { return r.t.gs().RelationIdle; }, 60000));
  ASSERT_GE(r.sim->commands.size(), 2);
  EXPECT_EQ(r.sim->commands.mid(0, 2), (QList<QByteArray>{"\x1B", "AT"}));
}

// Habits of real modems: whatever the modem says before its prompt, however it was left, every
// job goes out once, nothing is typed into a body, and the SIM is read.
TEST(ModemRelation, RealModemHabits) {
  using modemsim::ModemConfig;
  struct Case {
    const char* how;
    const char* cfg;
    std::function<void(ModemConfig&)> habit;
  };
  const auto codes = [](ModemConfig& c) {
    c.faults.promptCodes = {"Call Ready", "+CIEV: 2,3", "UNDER-VOLTAGE WARNNING"};
  };
  const Case cases[] = {
      {"codes before the prompt", "SmsIndication=0\n", codes},
      {"codes before the prompt in PDU mode", "SmsIndication=0\nPDUText=0\n", codes},
      {"left at its prompt", "SmsIndication=0\n", [](ModemConfig& c) { c.leftAtPrompt = true; }},
      {"echo that stays on", "SmsIndication=0\n",
       [](ModemConfig& c) { c.faults.echoStuck = true; }},
      {"COMMAND NOT SUPPORT", "SmsIndication=0\n",
       [](ModemConfig& c) {
         c.faults.unsupported = {"AT+CSDH=1", "AT+CPAS"};
       }},
      {"indications refused with +CME ERROR: 3", "SmsIndication=1\n",
       [](ModemConfig& c) {
         c.faults.cmeErrorOn = {{"AT+CNMI*", 3}};
       }},
      {"noise over the first 0.6 s", "SmsIndication=0\n",
       [](ModemConfig& c) {
         c.linkFaults.noiseBytes = 8192;
         c.linkFaults.noiseSpreadMs = 600;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    ModemConfig config;
    c.habit(config);
    ModemRelation r(QByteArray("ComTcp=0\nOnLine=1\nIntervalOnLine=5000\nMemCheOn=0\n"
                               "SendSMSDelay=100\nSendFiTxtDelay=1\n") +
                        c.cfg,
                    config);
    r.t.gs().StartupDue = true;
    r.inject("+420777111222", "Received");
    QFile drop(r.t.path("SendUp.txt"));
    ASSERT_TRUE(drop.open(QIODevice::WriteOnly));
    drop.write("+420603555000\tJob 0\r\n+420603555001\tJob 1\r\n+420603555002\tJob 2\r\n");
    drop.close();
    QStringList sent;
    const bool done = r.t.loop().runUntil(
        [&] {
          for (const auto& s : r.sim->modem.takeSent()) sent << s.number + u' ' + s.text;
          return sent.size() >= 3 && r.pop3Store().contains("Received");
        },
        60000);
    EXPECT_TRUE(done);
    r.t.loop().run(3000);
    for (const auto& s : r.sim->modem.takeSent()) sent << s.number + u' ' + s.text;
    sent.sort();
    EXPECT_EQ(sent,
              (QStringList{"+420603555000 Job 0", "+420603555001 Job 1", "+420603555002 Job 2"}));
    const QStringList shown = r.t.shown();
    EXPECT_FALSE(shown.contains("GSM Busy - End of session"));
    EXPECT_FALSE(shown.contains("GSM gateway inactive")) << shown.join(QChar(10)).toStdString();
    EXPECT_FALSE(shown.contains("Communication on COM port terminated for many errors"));
  }
}
