#include <gtest/gtest.h>

#include "core/gateway_start.h"
#include "support/link_test_gateway.h"
#include "support/sim_modem_device.h"

using namespace kolvane;

namespace {

// A gateway whose serial port is the simulated modem, in simulated time.
struct ModemRelation {
  explicit ModemRelation(const QByteArray& cfg) : t(cfg) {
    sim = std::make_shared<SimModem>(t.clock);
    t.g().hooks().openSerial = [this](const SerialParams&) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<SimModemDevice>(sim);
    };
  }
  void inject(const QString& sender, const QString& text) {
    modemsim::Injection sms;
    sms.sender = sender;
    sms.text = text;
    sim->modem.inject(sms, t.clock.tick());
  }
  // Presses Start and runs until the relation has ended; returns the commands the modem saw.
  QList<QByteArray> relation() {
    sim->commands.clear();
    BBt1Click(t.g(), StartSender::Button);
    EXPECT_TRUE(t.gs().RelationOn);
    const bool closed = t.loop().runUntil([&] { return t.gs().RelationClosing; }, 60000);
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

const QList<QByteArray> kTextModeStart{
    "AT",      "AT+CPIN?",       "AT+CREG?",       "AT+CSCS=\"GSM\"", "AT+CSMP=17,167,0,0",
    "AT+CPAS", "ATE0",           "AT+CSCA?",       "AT+CMGF=1",       "AT+CSDH=1",
    "AT+CSQ",  "AT+CPMS=\"SM\"", "AT+CMGL=\"ALL\""};

}  // namespace

TEST(ModemRelation, TextModeRelationsWithTheSimulatedModem) {
  ModemRelation r("ComTcp=0\nComNo=3\nInterval=0\n");
  r.inject("+420777111222", "Hello there");
  r.inject("+420777333444", "Second message");

  const QList<QByteArray> first = r.relation();
  ASSERT_GE(first.size(), kTextModeStart.size());
  EXPECT_EQ(first.mid(0, kTextModeStart.size()), kTextModeStart);
  const QStringList shown = r.t.shown();
  EXPECT_TRUE(shown.contains("COM3 connected"));
  EXPECT_TRUE(shown.contains("GSM gateway connected"));
  EXPECT_TRUE(shown.contains("SMS operator No. \"+420600000100\""));
  EXPECT_TRUE(shown.contains("GSM signal quality: 68%"));
  EXPECT_TRUE(shown.contains("GSM gateway received 2 SMS to SIM"));
  EXPECT_TRUE(shown.contains("COM3 disconnected"));
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
  EXPECT_EQ(r.sim->commands, (QList<QByteArray>{"AT", "AT", "AT"}));
  EXPECT_TRUE(r.t.shown().contains("GSM gateway inactive"));
  EXPECT_EQ(r.t.commands, QStringList{"notify.sh"});
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

  r.inject("+420777111222", "Announced");
  ASSERT_TRUE(r.t.loop().runUntil([&] { return r.sim->commands.contains("AT+CMGD=1"); }, 5000));
  // Listed on the announcement: no kick-off and no interval came first.
  EXPECT_EQ(r.sim->commands.first(), "AT+CMGL=\"ALL\"");
  EXPECT_TRUE(r.t.shown().contains("GSM gateway received 1 SMS to SIM"));

  // A fresh round reads the device every minute.
  r.sim->commands.clear();
  ASSERT_TRUE(r.t.loop().runUntil([&] { return r.sim->commands.contains("AT+CPIN?"); }, 70000));
}
