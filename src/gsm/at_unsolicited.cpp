#include "context/gateway_context.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/unsolicited_code.h"

namespace kolvane::at {

bool SetAside(GatewayContext& g, const QByteArray& line) {
  LinkState& link = g.link();
  const Unsolicited kind = RecogniseUnsolicited(line, AnswerPrefixOf(link.GsmSendStr));
  if (kind == Unsolicited::None) return false;
  link.SetAsideBytes += line.size();
  // The storage is listed as soon as the link is free; several announcements make one listing.
  if (kind == Unsolicited::NewMessage) link.SmsAnnounced = true;
  return true;
}

}  // namespace kolvane::at
