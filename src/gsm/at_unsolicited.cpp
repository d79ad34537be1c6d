#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "settings/catalogue.h"

namespace kolvane::at {

namespace {

// The storage "+CMTI: "SM",3" names: the SIM, the phone, or both for any other name ("MT" is
// both together).
std::uint8_t AnnouncedStorage(const QByteArray& line) {
  const qsizetype open = line.indexOf('"');
  const qsizetype close = open < 0 ? -1 : line.indexOf('"', open + 1);
  const QByteArray name = close < 0 ? QByteArray() : line.mid(open + 1, close - open - 1).toUpper();
  if (name == "SM") return AnnouncedBit(0);
  if (name == "ME") return AnnouncedBit(1);
  return AnnouncedBit(0) | AnnouncedBit(1);
}

}  // namespace

void UnsolicitedCode(GatewayContext& g, const Reading& line) {
  LinkState& link = g.link();
  switch (line.code) {
    case UnsolicitedKind::NewMessage:
      // The storage is listed right after the step under way; several announcements make one
      // listing.
      link.SmsAnnounced |= AnnouncedStorage(line.text);
      break;
    case UnsolicitedKind::Restart:
      // The module started anew since the relation read it: its settings are gone, and the
      // next relation makes them again.
      if (link.ReadPhaseDone) link.At.restarted = true;
      link.IndicationRefusals = 0;  // one refused while it booted is asked again
      break;
    default:
      LateSendResult(g, line.text);
      break;
  }
}

void LateSendResult(GatewayContext& g, QByteArrayView text) {
  GatewayState& gs = g.state();
  WaitStoreState& w = gs.WaitStore;
  if (w.GivenUpID.isEmpty() || !text.toByteArray().toUpper().contains("+CMGS:")) return;
  w.SentLateID = std::exchange(w.GivenUpID, {});
  g.Log(true,
        fillPlaceholders(g.Text(610), {QString::fromUtf8(std::exchange(w.GivenUpTelNo, {}))}));
  ++gs.cfg.SmsOutCnt;
  gs.CountersChanged = true;
}

}  // namespace kolvane::at
