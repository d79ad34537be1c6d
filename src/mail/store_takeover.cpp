#include <QFile>

#include "context/gateway_context.h"
#include "mail/job_reader.h"
#include "mail/store_protocols.h"

namespace kolvane {

void TakeOverMailStore(GatewayContext& g) {
  GatewayState& gs = g.state();
  const QString smtpTmp = gs.file(files::kSmtpTmp);
  const QString smtpRun = gs.file(files::kSmtpRun);
  if (!gs.StoreMovePending || QFile::exists(smtpRun)) return;
  gs.StoreMovePending = false;
  PriHMerge(g);
  if (!QFile::exists(smtpTmp)) return;
  // The position of an earlier run file must not survive a crash into the new one.
  AdvanceSmtpRunPos(g, 0);
  if (!QFile::rename(smtpTmp, smtpRun)) return;
  gs.Lamps.smtpBits &= ~kLampStore;
  gs.SmtpRunNext = 0;
  gs.SmtpRunSize = -1;
  if (gs.cfg.MaxSmsSendOn) SmtpRunCut(g);
}

}  // namespace kolvane
