#pragma once

#include "platform/clock.h"

namespace kolvane {

class GatewayContext;
struct LinkState;

// The read phase is over: the next send phase falls due SendSMSDelay after from, and the
// relation stays open until then. Nothing is scheduled while the program closes.
void scheduleSendPhaseFrom(GatewayContext& gateway, Tick from);
// The same from the start of this tick.
void scheduleSendPhase(GatewayContext& gateway);

// The tick after which a relation with nothing under way has been idle long enough to end.
Tick idleEndTick(const LinkState& link);

}  // namespace kolvane
