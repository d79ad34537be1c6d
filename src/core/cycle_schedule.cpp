#include "core/cycle_schedule.h"

#include <algorithm>
#include <cmath>

#include "core/gateway.h"
#include "mail/pop3_server.h"
#include "mail/smtp_server.h"

namespace kolvane {

namespace {

constexpr double kMsPerDay = 86400000.0;

// Something a tick must see soon: the cycle keeps its pace.
bool underWay(Gateway& g) {
  GatewayState& gs = g.state();
  return gs.FirstPaintPending || gs.StartupDue || gs.RestartWanted || gs.RelationOn ||
         !gs.RelationIdle || gs.KickOffPending || gs.StartWaitOn || gs.SendPhaseDue ||
         gs.SendPhaseOn || gs.CloseWanted || gs.AlarmBeep || gs.CountersChanged ||
         gs.RunResultsDue || gs.Lamps != gs.LampShown || gs.StatusText != gs.StatusShown ||
         !gs.WaitStore.ReturnSenderID.isEmpty() || !gs.WaitStore.DeleteItemID.isEmpty() ||
         g.pop3().replyPending() || g.smtp().replyPending() || g.log().pendingCount() > 0;
}

// The wait until a tick deadline has passed (the stages test "before now"); none when unset.
std::uint32_t untilTick(Tick due, Tick now, std::uint32_t none) {
  if (due == kNoTick || due == 0) return none;
  const auto left = static_cast<std::int32_t>(due - now);
  return left < 0 ? 0 : std::min<std::uint32_t>(static_cast<std::uint32_t>(left) + 1, none);
}

std::uint32_t untilDateTime(DateTime due, DateTime now, std::uint32_t none) {
  const long long ms = std::llround((due - now) * kMsPerDay) + 1;
  if (ms <= 0) return 0;
  return ms >= none ? none : static_cast<std::uint32_t>(ms);
}

}  // namespace

CycleWait nextCycleWait(Gateway& g) {
  if (underWay(g)) return {true, kCyclePaceMs};
  GatewayState& gs = g.state();
  const Tick now = g.clock().tick();
  const DateTime today = g.clock().now();
  const bool window = !g.options().headless;
  std::uint32_t wait = window ? kWindowSleepMs : kHeadlessSleepMs;
  const auto earliest = [&wait](std::uint32_t ms) { wait = std::min(wait, ms); };

  if (gs.IntervalMs != 0 && gs.RelationBase != 0) {
    earliest(untilTick(gs.RelationBase + gs.IntervalMs, now, wait));
    if (gs.RefreshMode)
      earliest(untilTick(gs.RelationBase + gs.RefreshOffset + gs.RefrPer, now, wait));
    if (window) earliest(untilTick(gs.NextSecondTick, now, wait));
  }
  earliest(untilTick(gs.SendUpAtTick, now, wait));
  earliest(untilTick(gs.ListenRetryAt, now, wait));
  earliest(untilTick(gs.CloseAtTick, now, wait));
  // A preset time already passed with nothing waiting is no due moment: a new waiting job
  // comes as a change of the folder, which wakes the cycle.
  if (gs.WaitStore.WaitNextTime > today)
    earliest(untilDateTime(gs.WaitStore.WaitNextTime, today, wait));
  earliest(untilDateTime(std::floor(today) + 1, today, wait));
  return {false, wait};
}

std::uint32_t recoveryWaitMs(const Gateway& g) {
  const GatewayState& gs = g.state();
  return untilDateTime(gs.RecoveryAt, g.clock().now(), kHeadlessSleepMs);
}

}  // namespace kolvane
