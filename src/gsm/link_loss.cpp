#include "gsm/link_passes.h"

#include "context/gateway_context.h"
#include "gsm/link_state.h"
#include "gsm/serial_device_link.h"

namespace kolvane {

void LinkPasses::logFault(const QString& text) {
  if (gateway_.link().Faults.first(text)) gateway_.Log(true, text);
}

void LinkPasses::serialLinkLost() {
  LinkState& link = gateway_.link();
  GatewayState& gs = gateway_.state();
  readErrorPasses_ = 0;
  if (link.ComHandle) link.ComHandle->close();
  link.ComHandle.reset();
  gateway_.Log(true, serialDeviceOf(gs) + QStringLiteral(" prematurely disconnected"));
  link.LinkFailed = true;
  gs.Lamps.linkStage = 6;
  endRelationNow();
}

void LinkPasses::endRelationNow() {
  GatewayState& gs = gateway_.state();
  // Whatever the relation was waiting for; the next start opens the link anew.
  gs.SendPhaseDue = false;
  gs.SendPhaseAt = kNoTick;
  gs.RelationClosing = true;
  gs.RelationOn = false;
}

}  // namespace kolvane
