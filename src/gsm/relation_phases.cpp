#include "gsm/relation_phases.h"

#include "context/gateway_context.h"
#include "gsm/link_state.h"

namespace kolvane {

void scheduleSendPhaseFrom(GatewayContext& g, Tick from) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  link.ReadPhaseDone = true;
  // An empty listing leaves its tick set, and an open relation parked for announced SMS must
  // not take it for a listing still coming in.
  link.ListTick = 0;
  if (gs.CloseWanted) return;  // closing: the job in hand was the last
  gs.SendPhaseDue = true;
  gs.SendPhaseAt = tickAfter(from, static_cast<Tick>(gs.cfg.SendSMSDelay));
  link.LastActTick = gs.SendPhaseAt + link.GsmTimeout;
}

void scheduleSendPhase(GatewayContext& g) {
  scheduleSendPhaseFrom(g, g.state().TickBegin);
}

Tick idleEndTick(const LinkState& link) {
  return link.LastActTick + link.GsmTimeout + 1000;
}

}  // namespace kolvane
