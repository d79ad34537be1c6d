#include "gsm/link_passes.h"

#include "context/gateway_context.h"
#include "gsm/link_state.h"
#include "gsm/relation_phases.h"

namespace kolvane {

void LinkPasses::scheduleIdleEnd() {
  const GatewayState& gs = gateway_.state();
  const LinkState& link = gateway_.link();
  if (!gs.RelationOn || gs.RelationClosing || gs.SendPhaseAt != kNoTick) return;
  const Tick due = idleEndTick(link);
  // One that is due already but did not end the relation is left to the main cycle.
  const auto wait = static_cast<std::int32_t>(due - gateway_.clock().tick());
  if (wait >= 0) scheduleFollowUp(wait + 1);
}

}  // namespace kolvane
