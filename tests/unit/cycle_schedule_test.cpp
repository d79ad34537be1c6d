#include <gtest/gtest.h>

#include "core/cycle_schedule.h"
#include "mail/pop3_server.h"
#include "store_test_gateway.h"

using namespace kolvane;

namespace {

// A started gateway between relations with nothing left for a tick to do.
struct QuietGateway : StoreTestGateway {
  QuietGateway() {
    gs().FirstPaintPending = false;
    gs().CountersChanged = false;
    gs().LampShown = gs().Lamps;
    gs().StatusShown = gs().StatusText;
    logs();
  }
  CycleWait wait() { return nextCycleWait(g()); }
};

}  // namespace

TEST(CycleSchedule, SleepsUntilTheEarliestDueMoment) {
  QuietGateway t;
  GatewayState& gs = t.gs();
  const Tick now = t.clock.tick();
  EXPECT_FALSE(t.wait().paced);
  EXPECT_EQ(t.wait().ms, kHeadlessSleepMs);

  const struct {
    const char* what;
    std::function<void()> set;
    std::uint32_t ms;
  } cases[] = {
      {"file drop", [&] { gs.SendUpAtTick = now + 10000; }, 10001},
      {"periodic start", [&] { gs.IntervalMs = 300000, gs.RelationBase = now - 299000; }, 1001},
      // Headless nobody sees the countdown: its seconds are no due moments.
      {"countdown second", [&] { gs.NextSecondTick = now + 500; }, 1001},
      {"refresh", [&] { gs.RefreshMode = true, gs.RefrPer = 299700; }, 701},
      {"preset time", [&] { gs.WaitStore.WaitNextTime = t.clock.now() + 300.0 / 86400000; }, 301},
      {"self-close", [&] { gs.CloseAtTick = now + 5; }, 6},
      {"self-close overdue", [&] { gs.CloseAtTick = now - 5; }, 0},
  };
  for (const auto& c : cases) {
    c.set();
    EXPECT_EQ(t.wait().ms, c.ms) << c.what;
    EXPECT_FALSE(t.wait().paced) << c.what;
  }
}

TEST(CycleSchedule, DateChangeAndTheWindowsSeconds) {
  QuietGateway t;
  t.clock.setNow(QDateTime(QDate(2026, 2, 1), QTime(23, 59, 59, 500)));
  EXPECT_EQ(t.wait().ms, 501u);
  t.clock.setNow(QDateTime(QDate(2026, 2, 1), QTime(12, 0)));
  // A preset time gone by with nothing waiting is no due moment.
  t.gs().WaitStore.WaitNextTime = t.clock.now() - 1;
  EXPECT_EQ(t.wait().ms, kHeadlessSleepMs);
}

TEST(CycleSchedule, KeepsItsPaceWhileAnythingIsUnderWay) {
  const struct {
    const char* what;
    std::function<void(QuietGateway&)> set;
  } cases[] = {
      {"relation", [](QuietGateway& t) { t.gs().RelationOn = true; }},
      {"relation ending", [](QuietGateway& t) { t.gs().RelationIdle = false; }},
      {"start-up wait", [](QuietGateway& t) { t.gs().FirstPaintPending = true; }},
      {"close wanted", [](QuietGateway& t) { t.gs().CloseWanted = true; }},
      {"alarm", [](QuietGateway& t) { t.gs().AlarmBeep = true; }},
      {"memo line", [](QuietGateway& t) { t.g().Log(true, "line"); }},
      {"lamp", [](QuietGateway& t) { t.gs().Lamps.pop3Bits ^= 1; }},
      {"view request", [](QuietGateway& t) { t.gs().WaitStore.DeleteItemID = "1"; }},
  };
  for (const auto& c : cases) {
    QuietGateway t;
    c.set(t);
    EXPECT_TRUE(t.wait().paced) << c.what;
  }
}
