#include "core/non_delivery.h"

#include "core/gateway.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"

namespace kolvane {

void ReportNonDelivery(Gateway& g) {
  GatewayState& gs = g.state();
  static const QByteArray kMark = QByteArrayLiteral("Non-delivery SMS: ");
  tMailRec rec;
  rec.NamePC = gs.JobNamePC;
  rec.From = '<' + gs.cfg.UserName.toUtf8() + '>';
  rec.Toe = '<' + gs.JobTelNo + '>';
  rec.Subj = kMark + gs.JobSubj;
  rec.MimeBody = QpEncode(gs.JobRawText);
  if (AppendRecord(g, gs.file(files::kPop3Tmp), rec, true) == AppendResult::Failed) return;
  g.traffic().trafficLine(gs.cfg.Pop3TxtMask, gs.JobTelNo,
                          '!' + kMark + '!' + LogText(rec.MimeBody));
  gs.Lamps.pop3Bits |= kLampStore;
}

}  // namespace kolvane
