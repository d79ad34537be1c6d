#include "core/non_delivery.h"

#include <algorithm>
#include <utility>

#include "core/gateway.h"
#include "mail/quoted_printable.h"
#include "mail/sms_report.h"
#include "mail/store_append.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr DateTime kMinute = 1.0 / 1440.0;

// Minutes from the n-th failure (1-based) to the next try.
int retryDelayMinutes(qsizetype failures) {
  constexpr int kFirst[] = {1, 5, 15, 60};
  return failures <= 4 ? kFirst[failures - 1] : 60;
}

// The job in hand as its record says, with this failure added to its attempts.
struct JobInHand {
  tMailRec rec;
  QList<SendAttempt> attempts;
};

JobInHand jobInHand(Gateway& g, const QByteArray& reason) {
  GatewayState& gs = g.state();
  JobInHand job;
  job.rec = StrToMailRec(gs.JobRecord, subjectRules(gs.cfg, g.clock().now()));
  for (const QByteArray& entry : std::as_const(job.rec.Attempts)) {
    if (const auto attempt = ParseAttempt(entry)) job.attempts << *attempt;
  }
  job.attempts << SendAttempt{g.clock().now(), reason};
  return job;
}

}  // namespace

Retry RetryJobLater(Gateway& g, const QByteArray& reason, bool resultGivenUp) {
  GatewayState& gs = g.state();
  JobInHand job = jobInHand(g, reason);
  if (!job.rec.OK) return Retry::NotKept;
  const DateTime now = g.clock().now();
  const int minutes = retryDelayMinutes(job.attempts.size());
  const DateTime next = now + minutes * kMinute;
  // Rounded to the second the store keeps, so the limit reads the same after a restart.
  const DateTime first = job.attempts.front().at;
  if (next > first + gs.cfg.SendRetryHours / 24.0 + kMinute / 120) return Retry::TimeOver;
  tMailRec rec = job.rec;
  rec.SendTime = next;
  rec.Attempts.clear();
  for (const SendAttempt& a : std::as_const(job.attempts)) rec.Attempts << AttemptEntry(a);
  if (AppendRecord(g, gs.file(files::kSmtpWaitTmp), rec, false) == AppendResult::Failed) {
    return Retry::NotKept;
  }
  WaitStoreState& w = gs.WaitStore;
  if (w.WaitNextTime != 0) w.WaitNextTime = std::min(w.WaitNextTime, next);
  if (resultGivenUp) {
    w.GivenUpID = rec.PosID;
    w.GivenUpTelNo = gs.JobTelNo;
  }
  setLampBit(gs.WaitLamp, kLampStore, true);
  g.Log(true, fillPlaceholders(g.Text(461), {QString::fromUtf8(gs.JobTelNo), ReasonText(g, reason),
                                             QString::number(minutes)}));
  return Retry::Waiting;
}

void ReportNonDelivery(Gateway& g, const QByteArray& reason, bool givenUp) {
  GatewayState& gs = g.state();
  static const QByteArray kMark = QByteArrayLiteral("Non-delivery SMS: ");
  const JobInHand job = jobInHand(g, reason);
  SmsReport report;
  report.mark = kMark;
  report.number = gs.JobTelNo;
  report.reason = ReasonText(g, reason);
  if (givenUp) {
    report.reason += QStringLiteral("; ") +
                     fillPlaceholders(g.Text(469), {QString::number(gs.cfg.SendRetryHours)});
  }
  report.attempts = job.attempts;
  report.text = job.rec.OK ? WrittenText(job.rec) : gs.JobRawText;
  report.part = gs.JobLoNo;
  report.parts = gs.JobLoHi;
  tMailRec head;
  head.NamePC = gs.JobNamePC;
  head.Toe = '<' + gs.JobTelNo + '>';
  head.Subj = gs.JobSubj;
  const tMailRec rec = ReportRecord(g, head, report);
  if (givenUp) {
    g.Log(true, fillPlaceholders(g.Text(462), {QString::fromUtf8(gs.JobTelNo), report.reason,
                                               QString::number(job.attempts.size())}));
  }
  if (AppendRecord(g, gs.file(files::kPop3Tmp), rec, true) == AppendResult::Failed) return;
  g.traffic().trafficLine(gs.cfg.Pop3TxtMask, gs.JobTelNo,
                          '!' + kMark + '!' + LogText(QpEncode(report.text)));
  gs.Lamps.pop3Bits |= kLampStore;
}

bool JobNotDelivered(Gateway& g) {
  LinkState& link = g.link();
  const QByteArray reason = std::exchange(link.SendFailReason, {});
  const bool temporary = std::exchange(link.SendFailTemporary, false);
  const bool givenUp = std::exchange(link.ResultGivenUp, false);
  const Retry retry = temporary ? RetryJobLater(g, reason, givenUp) : Retry::NotKept;
  if (retry == Retry::Waiting) return false;
  if (temporary) {
    g.Log(true, fillPlaceholders(g.Text(59), {QString::fromUtf8(g.state().JobTelNo)}));
  }
  ReportNonDelivery(g, reason, retry == Retry::TimeOver && g.state().cfg.SendRetryHours > 0);
  return true;
}

}  // namespace kolvane
