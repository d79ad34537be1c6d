#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include <QFile>
#include <algorithm>
#include <functional>

#include "core/gateway_start.h"
#include "support/link_test_gateway.h"
#include "support/sim_modem_device.h"

using namespace kolvane;

namespace {

constexpr Tick kWrap = 0xFFFFFFFFu;

qsizetype deletes(const QList<QByteArray>& commands) {
  return std::count_if(commands.begin(), commands.end(),
                       [](const QByteArray& c) { return c.startsWith("AT+CMGD="); });
}

const QByteArray kOnLine =
    "OnLine=1\nSmsIndication=0\nIntervalOnLine=20000\nMemCheOn=0\nSendSMSDelay=100\nSendFiTxtDelay="
    "1\n";

// The headless gateway started as at launch (no StartGo), its serial port the simulated modem.
struct Lifecycle {
  explicit Lifecycle(const QByteArray& cfg, Tick startTick = 100000) : t(cfg) {
    t.clock.setTick(startTick);
    sim = std::make_shared<SimModem>(t.clock);
    t.g().hooks().openSerial = [this](const SerialParams&) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<SimModemDevice>(sim);
    };
    t.gs().StartupDue = true;
  }
  void drop(const QByteArray& lines) const {
    QFile f(t.path("SendUp.txt"));
    if (f.open(QIODevice::Append)) f.write(lines);
  }
  // Runs until the given number of relations have been opened and have ended.
  bool relations(int n, std::uint32_t maxMs) {
    return t.loop().runUntil([&] { return sim->opens >= n && t.gs().RelationIdle; }, maxMs);
  }
  QStringList sent() {
    for (const auto& s : sim->modem.takeSent()) numbersSent << s.number + u' ' + s.text;
    return numbersSent;
  }

  LinkTestGateway t;
  std::shared_ptr<SimModem> sim;
  QStringList numbersSent;
};

TEST(RelationLifecycle, EveryEndMidSendLeavesTheNextRelationToSendTheJobOnce) {
  struct Case {
    const char* how;
    std::function<void(modemsim::ModemSim&)> fault;
    std::function<void(modemsim::ModemSim&)> heal;
    int sentByTheFirst;
  };
  const auto none = [](modemsim::ModemSim&) {};
  const Case cases[] = {
      {"link dropped at the send command", [](auto& m) { m.linkFaults().dropAtSend = 1; }, none, 0},
      {"prompt refused", [](auto& m) { m.faults().errorOn << "AT+CMGS*"; },
       [](auto& m) { m.faults().errorOn.clear(); }, 0},
      // "+CMGS:" came: the job is sent, and the next relation does not send it again.
      {"link dropped after +CMGS", [](auto& m) { m.linkFaults().dropAfterAccept = 1; }, none, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    Lifecycle f(kOnLine + QByteArray("SendResultTimeout=20\n"));
    c.fault(f.sim->modem);
    f.drop("+420777111222\tFirst job\r\n");
    ASSERT_TRUE(f.relations(1, 120000));
    EXPECT_EQ(f.sent().size(), c.sentByTheFirst);
    EXPECT_FALSE(f.t.gs().SendPhaseOn);
    EXPECT_FALSE(f.t.gs().SendPhaseDue);
    c.heal(f.sim->modem);
    f.drop("+420777333444\tSecond job\r\n");
    ASSERT_TRUE(f.relations(2, 60000));
    EXPECT_EQ(f.sent(), (QStringList{"+420777111222 First job", "+420777333444 Second job"}));
    EXPECT_EQ(f.t.gs().cfg.SmsOutCnt, 2);
  }
}

// A close asked for during a relation (SIGTERM, the window's close) ends it at its next safe
// point: the command in flight is answered, SMS already stored leave the device, no new job
// starts; then the program closes.
TEST(RelationLifecycle, ACloseEndsTheRelationAtItsNextSafePoint) {
  struct Case {
    const char* when;
    std::function<void(Lifecycle&)> prepare;
    std::function<bool(Lifecycle&)> reached;
    int sentAtMost;  // those sent before the close and the one in flight
    int stored;
  };
  const auto stored = [](Lifecycle& f) {
    QFile store(f.t.path("Pop3.Tmp"));
    return store.open(QIODevice::ReadOnly) ? store.readAll().count("PosID: ") : 0;
  };
  const Case cases[] = {
      {"in the middle of a run of jobs",
       [](Lifecycle& f) {
         QByteArray jobs;
         for (int i = 0; i < 10; ++i) jobs += "+42077711100" + QByteArray::number(i) + "\tjob\r\n";
         f.drop(jobs);
       },
       [](Lifecycle& f) { return f.sent().size() >= 2; }, 3, 0},
      {"right after a burst of received SMS",
       [](Lifecycle& f) {
         for (int i = 0; i < 8; ++i) {
           modemsim::Injection sms;
           sms.sender = "+420777222333";
           sms.text = QStringLiteral("burst %1").arg(i);
           f.sim->modem.inject(sms, f.t.clock.tick());
         }
       },
       [&stored](Lifecycle& f) { return stored(f) == 8; }, 0, 8},
      {"at its first command", [](Lifecycle&) {},
       [](Lifecycle& f) { return f.t.gs().RelationOn && f.sim->commands.isEmpty(); }, 0, 0},
      {"while the relation waits for its idle end", [](Lifecycle&) {},
       [](Lifecycle& f) {
         const GatewayState& gs = f.t.gs();
         return gs.RelationOn && !gs.SendPhaseOn && gs.SendPhaseAt == kNoTick &&
                f.t.link().At.writes == 0 &&
                std::any_of(f.sim->commands.begin(), f.sim->commands.end(),
                            [](const QByteArray& c) { return c.startsWith("AT+CMGL"); });
       },
       0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when);
    Lifecycle f(kOnLine);
    Tick closedAt = 0;
    f.t.g().hooks().cycle.closeMainWindow = [&] { closedAt = f.t.clock.tick(); };
    c.prepare(f);
    ASSERT_TRUE(f.t.loop().runUntil([&] { return c.reached(f); }, 120000));
    const Tick asked = f.t.clock.tick();
    f.t.gs().ShortcutClose = true;
    EXPECT_FALSE(f.t.g().requestClose());
    ASSERT_TRUE(f.t.loop().runUntil([&] { return closedAt != 0; }, 60000));
    EXPECT_LE(closedAt - asked, 3000u);
    EXPECT_TRUE(f.t.gs().RelationIdle);
    EXPECT_LE(f.sent().size(), c.sentAtMost);
    EXPECT_EQ(f.sim->modem.storage(modemsim::Storage::SM).used(), 0);
    // Nothing stored twice, and what was stored has left the device.
    EXPECT_EQ(stored(f), c.stored);
  }
}

TEST(RelationLifecycle, SchedulesHoldAcrossTheTickWrap) {
  // Started 45 s before the 32-bit tick wraps; a relation every 20 s, the drop every second.
  Lifecycle f(kOnLine, kWrap - 45000);
  ASSERT_TRUE(f.relations(2, 30000));
  EXPECT_TRUE(tickBefore(f.t.clock.tick(), kWrap - 5000));
  f.t.loop().run(20000);  // past the wrap
  f.drop("+420777111222\tAfter the wrap\r\n");
  f.t.loop().run(70000);
  EXPECT_EQ(f.sim->opens, 6);  // one per interval, not one per cycle
  EXPECT_EQ(f.sent(), QStringList{"+420777111222 After the wrap"});
  EXPECT_FALSE(f.t.gs().SendPhaseOn);
}

TEST(RelationLifecycle, ASlowListingIsNotAskedForAgain) {
  Lifecycle f("Interval=0\nMemCheOn=0\n");
  f.sim->modem.faults().splitBytes = 16;
  f.sim->modem.faults().splitPauseMs = 300;  // some receive passes read nothing
  for (int i = 0; i < 9; ++i) {
    modemsim::Injection sms;
    sms.sender = "+420777111222";
    sms.text = QStringLiteral("A listing that takes a while, part %1").arg(i);
    f.sim->modem.inject(sms, f.t.clock.tick());
  }
  f.t.gs().StartupDue = false;
  BBt1Click(f.t.g(), StartSender::Button);
  ASSERT_TRUE(f.relations(1, 120000));
  EXPECT_EQ(f.sim->commands.count("AT+CMGL=\"ALL\""), 1);
  EXPECT_EQ(deletes(f.sim->commands), 9);
  EXPECT_EQ(f.sim->modem.storage(modemsim::Storage::SM).used(), 0);
}

TEST(RelationLifecycle, ADeviceThatGoesAwayEndsTheRelationOnceAndIsOpenedAgainLater) {
  struct Case {
    const char* how;
    bool gone;
  };
  for (const Case c : {Case{"unplugged", true}, Case{"reads failing for good", false}}) {
    SCOPED_TRACE(c.how);
    LinkTestGateway t(kOnLine);
    t.gs().StartupDue = true;
    t.loop().runUntil([&] { return t.gs().RelationOn; }, 1000);
    t.loop().run(1000);
    t.device->readError = true;
    t.device->gone = c.gone;
    ASSERT_TRUE(t.loop().runUntil([&] { return t.gs().RelationIdle; }, 5000));
    t.loop().run(3000);
    const QStringList log = t.shown();
    EXPECT_EQ(log.count("Error reading the state of communication"), 1);
    EXPECT_EQ(log.count("/dev/ttyS0 prematurely disconnected"), 1);
    EXPECT_FALSE(t.device->open);
    EXPECT_FALSE(t.link().ComHandle);
    // The next periodic start opens the port again.
    ASSERT_TRUE(t.loop().runUntil([&] { return t.opened.size() == 2; }, 30000));
    EXPECT_TRUE(t.device->open);
    EXPECT_TRUE(
        t.loop().runUntil([&] { return t.shown().contains("GSM gateway connected"); }, 5000));
  }
}

TEST(RelationLifecycle, ADeviceThatStaysGoneIsReportedOnceAnHourAndItsCommandRunsOncePerOutage) {
  LinkTestGateway t(
      "OnLine=1\nSmsIndication=0\nIntervalOnLine=3000\nMemCheOn=0\nCmdOnConnectFailed=alert.sh\n"
      "ComName=/nonexistent/ttyGSM\n");
  const QString failed = "Serial device /nonexistent/ttyGSM cannot be opened: missing";
  t.deviceAvailable = false;
  t.gs().StartupDue = true;
  t.loop().run(61 * 60 * 1000);
  QStringList log = t.shown();
  EXPECT_EQ(log.count(failed), 1);
  const QStringList hourly = log.filter(failed + " - ");
  ASSERT_EQ(hourly.size(), 1) << log.join('\n').toStdString();
  EXPECT_TRUE(hourly[0].endsWith(" times in the last hour"));
  EXPECT_GT(t.opened.size(), 1000);
  EXPECT_EQ(t.commands, QStringList{"alert.sh"});

  // The device comes back; gone again, a new outage is reported and its command runs again.
  t.deviceAvailable = true;
  QStringList back;
  ASSERT_TRUE(t.loop().runUntil(
      [&] {
        back << t.shown();
        return back.contains("GSM gateway connected");
      },
      10000))
      << back.join('\n').toStdString();
  ASSERT_TRUE(t.loop().runUntil([&] { return t.gs().RelationIdle; }, 30000));
  t.deviceAvailable = false;
  t.loop().run(60000);
  EXPECT_EQ(t.shown().count(failed), 1);
  EXPECT_EQ(t.commands, (QStringList{"alert.sh", "alert.sh"}));
}

// A restart that waits for the gateway's connection opens a relation of its own: a pass that
// runs meanwhile finds no relation to end.
TEST(RelationLifecycle, ARestartWaitingForTheGatewayKeepsItsNewRelation) {
  LinkTestGateway t("ComTcp=1\nInterval=0\n");
  t.gs().RelationOn = true;
  t.gs().RelationIdle = false;
  BBt1Click(t.g(), StartSender::None);
  ASSERT_TRUE(t.g().gtNet().waitingForConnect());
  EXPECT_FALSE(t.gs().RelationOn);
  t.g().passes().RecvPass();
  t.g().passes().SendPass();
  t.g().gtNet().sckGtNETcliConnect();
  t.g().gtNet().pollConnectWait();
  EXPECT_TRUE(t.gs().RelationOn);
  EXPECT_FALSE(t.gs().RelationClosing);
  EXPECT_FALSE(t.link().RecvStopOK);
  EXPECT_TRUE(t.gs().KickOffPending);
}

}  // namespace

// A daily interval is more than the exchange holds: held at 1000 minutes, it keeps a relation
// coming every period, and each sends what came since the last.
TEST(RelationLifecycle, ADailyIntervalIsHeldAtItsLongestAndKeepsSending) {
  Lifecycle f("OnLine=0\nInterval=1440\nMemCheOn=0\nSendSMSDelay=100\nSendFiTxtDelay=1\n");
  EXPECT_EQ(f.t.gs().IntervalMs, 60000000u);
  ASSERT_TRUE(f.relations(1, 60000));
  for (int period = 1; period <= 3; ++period) {
    SCOPED_TRACE(period);
    f.drop("+42077711100" + QByteArray::number(period) + "\tperiod\r\n");
    f.t.loop().run(5000);
    EXPECT_TRUE(QFile::exists(f.t.path("Smtp.Tmp")));
    EXPECT_EQ(f.sim->opens, period);  // nothing before its time
    f.t.clock.advance(60000000 - 10000);
    ASSERT_TRUE(f.relations(period + 1, 60000));
    EXPECT_EQ(f.sent().size(), period);
  }
}
