#include "context/gateway_context.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"

namespace kolvane::at {

void UnsolicitedCode(GatewayContext& g, const Reading& line) {
  LinkState& link = g.link();
  switch (line.code) {
    case UnsolicitedKind::NewMessage:
      // The storage is listed as soon as the link is free; several announcements make one
      // listing.
      link.SmsAnnounced = true;
      break;
    case UnsolicitedKind::Restart:
      // The module started anew since the relation read it: its settings are gone, and the
      // next relation makes them again.
      if (link.ReadPhaseDone) link.At.restarted = true;
      link.IndicationRefusals = 0;  // one refused while it booted is asked again
      break;
    default:
      break;
  }
}

}  // namespace kolvane::at
