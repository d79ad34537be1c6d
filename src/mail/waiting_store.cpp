#include <QFile>
#include <algorithm>
#include <optional>

#include "context/gateway_context.h"
#include "mail/quoted_printable.h"
#include "mail/sms_report.h"
#include "mail/store_file.h"
#include "mail/store_move.h"
#include "mail/store_protocols.h"

namespace kolvane {

namespace {

constexpr qint64 kWindow = 800;
constexpr DateTime kNoTime = 2958465.99999999;  // 31 December 9999 23:59:59.999
// A move the stores could not take is tried again after this long.
constexpr DateTime kRetryAfter = 5.0 / 86400.0;

struct TrafficLine {
  QString mask;
  QByteArray tag;
  QByteArray text;
};

// Where the scan puts every waiting job, written only once all of it is on disk.
struct ScanPlan {
  StoreBatch smtp;
  StoreBatch pop3;
  StoreBatch waiting;
  QList<TrafficLine> lines;
  DateTime earliest = kNoTime;
  bool changes = false;       // a job leaves the waiting store
  QList<QByteArray> retried;  // the PosIDs going back for their next try
};

// Where one waiting job goes.
void route(GatewayContext& g, tMailRec rec, DateTime now, ScanPlan& plan) {
  GatewayState& gs = g.state();
  const WaitStoreState& w = gs.WaitStore;
  const QByteArray text = LogText(rec.MimeBody);
  if (rec.SendTime == 0 || rec.PosID == w.ReturnSenderID) {
    const bool returned = rec.PosID == w.ReturnSenderID;
    const QByteArray mark = returned ? "Manual return SMS: " : "Undispatched SMS: ";
    QByteArray line = '!' + mark + '!' + text;
    if (!returned) line += '(' + rec.MimeBody + ')';
    plan.lines.append({gs.cfg.Pop3TxtMask, rec.TelNo, line});
    if (!returned) {
      // A job without its time cannot wait for it: its sender hears why.
      SmsReport about;
      about.mark = mark;
      about.number = rec.TelNo;
      about.reason = g.Text(148);
      about.text = WrittenText(rec);
      rec = ReportRecord(g, rec, about);
    } else {
      rec.Subj = mark + rec.Subj;
    }
    // A new identifier: PCs already past the old one still get the record.
    plan.pop3.records.append({rec, true});
    plan.changes = true;
  } else if (rec.PosID == w.SentLateID) {
    plan.changes = true;  // its late result said it went out
  } else if (rec.PosID == w.DeleteItemID) {
    plan.lines.append({gs.cfg.SmtpTxtMask, rec.TelNo, "!Manual delete SMS: !" + text});
    plan.changes = true;
  } else if (rec.SendTime >= now) {
    plan.earliest = std::min(plan.earliest, rec.SendTime);
    plan.waiting.records.append({rec, false});
  } else {
    plan.lines.append({gs.cfg.SmtpTxtMask, rec.TelNo, text});
    plan.smtp.records.append({rec, false});
    plan.changes = true;
    plan.retried.append(rec.PosID);
  }
}

// nullopt when the run file cannot be read now.
std::optional<ScanPlan> planScan(GatewayContext& g, const QString& runPath) {
  GatewayState& gs = g.state();
  const DateTime now = g.clock().now();
  const SubjectRules rules = subjectRules(gs.cfg, now);
  ScanPlan plan;
  plan.smtp.path = gs.file(files::kSmtpTmp);
  plan.pop3.path = gs.file(files::kPop3Tmp);
  plan.waiting.path = gs.file(files::kSmtpWaitTmp);
  ExclusiveFile run(runPath);
  if (!run.open(QIODevice::ReadOnly)) return std::nullopt;
  for (qint64 offset = 0;;) {
    const auto window = ReadRecordWindow(run.file(), offset, kWindow, HoldsWholeRecord);
    if (!window) return std::nullopt;
    if (window->isEmpty()) break;
    const tMailRec rec = StrToMailRec(*window, rules);
    if (rec.EndPos <= 40) {
      offset += window->size();
      continue;
    }
    offset += rec.EndPos;
    route(g, rec, now, plan);
  }
  return plan;
}

// Every job of the run file in its next store, or none: a job leaves the waiting store only
// once its copy is on disk, so a full disk keeps every job until space comes back.
void scan(GatewayContext& g, const QString& runPath) {
  GatewayState& gs = g.state();
  WaitStoreState& w = gs.WaitStore;
  const auto plan = planScan(g, runPath);
  if (!plan) return;
  QString failed;
  MoveResult result = MoveResult::Moved;
  if (!plan->changes && !QFile::exists(plan->waiting.path)) {
    // Nothing leaves: the run file becomes the waiting store again, which needs no space.
    if (!QFile::rename(runPath, plan->waiting.path)) result = MoveResult::Held;
    SyncFolderOf(runPath);
  } else {
    result = AppendAllOrNone(g, {plan->smtp, plan->pop3, plan->waiting}, &failed);
    if (result == MoveResult::Moved) {
      QFile::remove(runPath);
      SyncFolderOf(runPath);
    }
  }
  if (result == MoveResult::Failed) {
    if (!w.MoveFailing) {
      g.Log(true, QStringLiteral("!!! %1 - WriteFile error: the waiting jobs stay in %2 and are "
                                 "moved when it takes them !!!")
                      .arg(failed, QLatin1String(files::kSmtpWaitRun)));
    }
    w.MoveFailing = true;
    w.WaitNextTime = std::min(plan->earliest, g.clock().now() + kRetryAfter);
    return;
  }
  if (result == MoveResult::Held) return;
  if (w.MoveFailing) {
    g.Log(true, QStringLiteral("%1 moved").arg(QLatin1String(files::kSmtpWaitRun)));
    w.MoveFailing = false;
  }
  for (const TrafficLine& line : plan->lines)
    g.traffic().trafficLine(line.mask, line.tag, line.text);
  if (plan->earliest != kNoTime) w.WaitNextTime = plan->earliest;
  w.ReturnSenderID.clear();
  w.DeleteItemID.clear();
  w.SentLateID.clear();
  // Once its retry is on its way, a "+CMGS" may be that send's own.
  if (plan->retried.contains(w.GivenUpID)) {
    w.GivenUpID.clear();
    w.GivenUpTelNo.clear();
  }
}

}  // namespace

void PreSetTimeProc(GatewayContext& g) {
  GatewayState& gs = g.state();
  const QString waitTmp = gs.file(files::kSmtpWaitTmp);
  const QString waitRun = gs.file(files::kSmtpWaitRun);
  if (QFile::exists(waitTmp) && !QFile::exists(waitRun)) QFile::rename(waitTmp, waitRun);
  if (QFile::exists(waitRun)) {
    scan(g, waitRun);
  } else {
    gs.WaitStore.SentLateID.clear();  // its job has left already
  }
  setLampBit(gs.WaitLamp, kLampStore, QFile::exists(waitTmp) || QFile::exists(waitRun));
  setLampBit(gs.Lamps.smtpBits, kLampStore, QFile::exists(gs.file(files::kSmtpTmp)));
  setLampBit(gs.Lamps.pop3Bits, kLampStore, QFile::exists(gs.file(files::kPop3Tmp)));
}

bool WaitingStoreDue(const GatewayContext& g) {
  const WaitStoreState& w = g.state().WaitStore;
  return w.WaitNextTime == 0 || g.clock().now() > w.WaitNextTime || !w.ReturnSenderID.isEmpty() ||
         !w.DeleteItemID.isEmpty() || !w.SentLateID.isEmpty();
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
