#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "gsm/at_automaton.h"
#include "gsm/relation_phases.h"

namespace kolvane {

namespace {

// A relation parked between listings still ends this long after its kick-off, and the next
// one reads the device afresh: SMS whose announcement was lost, a modem that was reset.
constexpr std::uint32_t kParkedRoundMs = 60000;

// The send phase waits for its next job: the last one has ended and been settled. A text-mode
// listing needs the GSM character set, which a UCS2 job has changed.
bool betweenJobs(const Gateway& g) {
  const GatewayState& gs = g.state();
  const LinkState& link = g.link();
  return gs.SendPhaseDue && !link.WaitPrompt && !link.WaitResult && !link.SmsSendDone &&
         !link.SmsSendFail && (!gs.cfg.PDUText || gs.LastCharset == 0);
}

// No command is out or due, and the read and send phases are done or waiting.
bool linkFree(const Gateway& g) {
  const GatewayState& gs = g.state();
  const LinkState& link = g.link();
  return gs.RelationOn && !gs.RelationClosing && link.ReadPhaseDone &&
         (!gs.SendPhaseOn || betweenJobs(g)) && at::NothingOwed(link) && !link.GsmSendOn &&
         link.ListTick == 0 && link.DelPos < 0;
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
  // The phone storage is not read in this run.
  if (!link.PhoneMemOn) link.SmsAnnounced &= AnnouncedBit(0);
  if (!link.SmsAnnounced || !linkFree(g)) return;
  // A send phase waiting for its delay follows the listing instead: it goes on with its next
  // job once the SMS are stored and deleted.
  gs.SendPhaseDue = false;
  gs.SendPhaseAt = kNoTick;
  link.ReadPhaseDone = false;
  link.ListingAnnounced = true;
  link.LastActTick = gs.TickBegin;
  if (!gs.cfg.MemCheOn) return GsmAutomat(g, AtState::List);
  link.MemIdx = (link.SmsAnnounced & AnnouncedBit(0)) ? 0 : 1;
  GsmAutomat(g, AtState::Storage);
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
