#include <QFile>

#include "context/gateway_context.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_protocols.h"

namespace kolvane {

namespace {

constexpr qint64 kWindow = 800;
constexpr DateTime kNoTime = 2958465.99999999;  // 31 December 9999 23:59:59.999

// Where one waiting job goes.
void route(GatewayContext& g, tMailRec rec, DateTime now, DateTime& earliest) {
  GatewayState& gs = g.state();
  WaitStoreState& w = gs.WaitStore;
  const QByteArray text = LogText(rec.MimeBody);
  if (rec.SendTime == 0 || rec.PosID == w.ReturnSenderID) {
    const bool returned = rec.PosID == w.ReturnSenderID;
    const QByteArray mark = returned ? "Manual return SMS: " : "Undispatched SMS: ";
    rec.Subj = mark + rec.Subj;
    // A new identifier: PCs already past the old one still get the record.
    AppendRecord(g, gs.file(files::kPop3Tmp), rec, true);
    QByteArray line = '!' + mark + '!' + text;
    if (!returned) line += '(' + rec.MimeBody + ')';
    g.traffic().trafficLine(gs.cfg.Pop3TxtMask, rec.TelNo, line);
  } else if (rec.PosID == w.DeleteItemID) {
    g.traffic().trafficLine(gs.cfg.SmtpTxtMask, rec.TelNo, "!Manual delete SMS: !" + text);
  } else if (rec.SendTime >= now) {
    earliest = std::min(earliest, rec.SendTime);
    AppendRecord(g, gs.file(files::kSmtpWaitTmp), rec, false);
  } else {
    AppendRecord(g, gs.file(files::kSmtpTmp), rec, false);
    g.traffic().trafficLine(gs.cfg.SmtpTxtMask, rec.TelNo, text);
  }
}

void scan(GatewayContext& g, const QString& runPath) {
  GatewayState& gs = g.state();
  const DateTime now = g.clock().now();
  const SubjectRules rules = subjectRules(gs.cfg, now);
  DateTime earliest = kNoTime;
  {
    ExclusiveFile run(runPath);
    if (!run.open(QIODevice::ReadOnly)) return;
    for (qint64 offset = 0;;) {
      const auto window = ReadRecordWindow(run.file(), offset, kWindow, HoldsWholeRecord);
      if (!window || window->isEmpty()) break;
      const tMailRec rec = StrToMailRec(*window, rules);
      if (rec.EndPos <= 40) {
        offset += window->size();
        continue;
      }
      offset += rec.EndPos;
      route(g, rec, now, earliest);
    }
  }
  QFile::remove(runPath);
  if (earliest != kNoTime) gs.WaitStore.WaitNextTime = earliest;
  gs.WaitStore.ReturnSenderID.clear();
  gs.WaitStore.DeleteItemID.clear();
}

}  // namespace

void PreSetTimeProc(GatewayContext& g) {
  GatewayState& gs = g.state();
  const QString waitTmp = gs.file(files::kSmtpWaitTmp);
  const QString waitRun = gs.file(files::kSmtpWaitRun);
  if (QFile::exists(waitTmp) && !QFile::exists(waitRun)) QFile::rename(waitTmp, waitRun);
  if (QFile::exists(waitRun)) scan(g, waitRun);
  setLampBit(gs.WaitLamp, kLampStore, QFile::exists(waitTmp));
  setLampBit(gs.Lamps.smtpBits, kLampStore, QFile::exists(gs.file(files::kSmtpTmp)));
  setLampBit(gs.Lamps.pop3Bits, kLampStore, QFile::exists(gs.file(files::kPop3Tmp)));
}

bool WaitingStoreDue(const GatewayContext& g) {
  const WaitStoreState& w = g.state().WaitStore;
  return w.WaitNextTime == 0 || g.clock().now() > w.WaitNextTime || !w.ReturnSenderID.isEmpty() ||
         !w.DeleteItemID.isEmpty();
}

bool RunWaitingStoreIfDue(GatewayContext& g) {
  WaitStoreState& w = g.state().WaitStore;
  if (!WaitingStoreDue(g) || w.PreSetTimeRun) return false;
  w.PreSetTimeRun = true;
  PreSetTimeProc(g);
  w.PreSetTimeRun = false;
  return true;
}

}  // namespace kolvane
