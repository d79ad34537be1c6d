#include "gsm/link_passes.h"

#include <utility>

#include "context/gateway_context.h"
#include "gsm/link_state.h"

namespace kolvane {

void LinkPasses::bytesArrived() {
  if (!gateway_.state().RelationOn) return;
  // Read on the loop's next turn: a device found gone there may be closed safely, which it
  // may not be inside its own signal.
  readWanted_ = true;
  scheduleFollowUp(0);
}

void LinkPasses::wake() {
  resumeFallback();
  if (gateway_.state().RelationOn) scheduleFollowUp(0);
}

void LinkPasses::resumeFallback() {
  if (running_ && relationActive() && !recvPassTimer_.isActive()) recvPassTimer_.start();
}

void LinkPasses::afterCycle() {
  resumeFallback();
  if ((gateway_.state().RelationOn && commandPending()) || relationEnding()) scheduleFollowUp(0);
  scheduleIdleEnd();
}

void LinkPasses::linkDropped() {
  if (relationEnding()) scheduleFollowUp(0);
}

void LinkPasses::scheduleFollowUp(int ms) {
  if (followUpTimer_.isActive() && followUpTimer_.remainingTime() <= ms) return;
  followUpTimer_.start(ms);
}

void LinkPasses::followUp() {
  if (std::exchange(readWanted_, false)) RecvPass();
  const GatewayState& gs = gateway_.state();
  // A job done makes the next one due within the same round when SendSMSDelay is 0.
  for (int round = 0; round < 2 && gs.RelationOn; ++round) {
    if (commandPending()) SendPass();
    if (gateway_.hooks().cycle.runRelationStages) gateway_.hooks().cycle.runRelationStages();
    if (commandPending()) SendPass();
    if (!gs.SendPhaseDue || !tickDue(gs.SendPhaseAt, gateway_.clock().tick())) break;
  }
  if (relationEnding()) {
    // The passes note the end at once rather than at the fallback's next turn, so the link
    // closes and the next relation may begin.
    RecvPass();
    SendPass();
    if (gateway_.hooks().cycle.runRelationStages) gateway_.hooks().cycle.runRelationStages();
  }
  scheduleIdleEnd();
  if (!gs.RelationOn || !gs.SendPhaseDue || gs.SendPhaseAt == kNoTick) return;
  // A phase falls due once its tick has passed. One that is due already but could not run
  // now is left to the main cycle.
  const auto wait = static_cast<std::int32_t>(gs.SendPhaseAt - gateway_.clock().tick());
  if (wait >= 0) scheduleFollowUp(wait + 1);
}

}  // namespace kolvane
