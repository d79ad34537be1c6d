#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "gsm/at_automaton.h"
#include "gsm/relation_phases.h"

namespace kolvane {

namespace {

// A relation parked between listings still ends this long after its kick-off, and the next
// one reads the device afresh: SMS whose announcement was lost, a modem that was reset.
constexpr std::uint32_t kParkedRoundMs = 60000;

// No command is out or due, and the read and send phases are done or waiting.
bool linkFree(const Gateway& g) {
  const GatewayState& gs = g.state();
  const LinkState& link = g.link();
  return gs.RelationOn && !gs.RelationClosing && link.ReadPhaseDone && !gs.SendPhaseOn &&
         at::NothingOwed(link) && !link.GsmSendOn && link.ListTick == 0 && link.DelPos < 0;
}

}  // namespace

bool relationParked(const Gateway& g) {
  const GatewayState& gs = g.state();
  const LinkState& link = g.link();
  return link.IndicationOn && !link.NotRegistered && !link.At.restarted && gs.cfg.OnLine &&
         gs.IntervalMs != 0 && !gs.StopPending && !gs.CloseWanted && !gs.cfg.EndClose &&
         link.ComErrCnt == 0 && !tickBefore(link.RoundTick + kParkedRoundMs, gs.TickBegin);
}

void announcedSmsStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!link.SmsAnnounced || !linkFree(g)) return;
  // A send phase waiting for its delay follows the listing instead.
  gs.SendPhaseDue = false;
  gs.SendPhaseAt = kNoTick;
  link.ReadPhaseDone = false;
  link.MemIdx = 0;
  link.LastActTick = gs.TickBegin;
  GsmAutomat(g, gs.cfg.MemCheOn ? AtState::Storage : AtState::List);
}

bool parkedIntervalStart(Gateway& g) {
  GatewayState& gs = g.state();
  if (gs.RelationIdle || !relationParked(g)) return false;
  const Tick t = gs.TickBegin;
  const std::uint64_t steps = (t - gs.RelationBase) / gs.IntervalMs;
  gs.RelationBase += static_cast<Tick>(steps * gs.IntervalMs);
  // Jobs leave at the pace of the interval, without reading the device again: the mail
  // store is taken over as by a relation's start.
  if (linkFree(g) && !gs.SendPhaseDue) {
    gs.StoreMovePending = true;
    scheduleSendPhase(g);
  }
  return true;
}

}  // namespace kolvane
