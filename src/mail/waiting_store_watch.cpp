#include "mail/waiting_store_watch.h"

#include <QFileInfo>

#include "context/gateway_context.h"
#include "mail/store_protocols.h"

namespace kolvane {

namespace {

bool storeBit(std::uint8_t bits) {
  return (bits & kLampStore) != 0;
}

}  // namespace

void WaitingStoreWatch::run(GatewayContext& g) {
  GatewayState& gs = g.state();
  WaitStoreState& w = gs.WaitStore;
  if (!folder_) folder_.emplace(folderPath_);
  if (folder_->changed()) quiet_.reset();
  const bool requests = !w.ReturnSenderID.isEmpty() || !w.DeleteItemID.isEmpty();
  if (quiet_ && !requests) {
    // What the scan would do, without looking at the files again.
    if (w.PreSetTimeRun || !WaitingStoreDue(g)) return;
    setLampBit(gs.WaitLamp, kLampStore, false);
    setLampBit(gs.Lamps.smtpBits, kLampStore, quiet_->smtp);
    setLampBit(gs.Lamps.pop3Bits, kLampStore, quiet_->pop3);
    return;
  }
  if (!RunWaitingStoreIfDue(g)) return;
  // A run file left behind (it could not be opened) is scanned again at the next tick.
  if (storeBit(gs.WaitLamp) || QFileInfo::exists(gs.file(files::kSmtpWaitRun))) return;
  quiet_ = StoreLamps{storeBit(gs.Lamps.smtpBits), storeBit(gs.Lamps.pop3Bits)};
}

}  // namespace kolvane
