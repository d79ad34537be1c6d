#include "mail/mail_plan.h"

#include <QFileInfo>
#include <QTimer>
#include <memory>

#include "context/gateway_context.h"
#include "mail/pop3_routing.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"

namespace kolvane {

namespace {

// A held store is tried again every 10 ms for 20 tries, then every 100 ms, about a second in all.
constexpr int kQuickRetries = 20;
constexpr int kHeldRetries = 28;
constexpr int kQuickRetryMs = 10;
constexpr int kSlowRetryMs = 100;

enum class Write { Done, Held, Failed };

Write writeOnce(GatewayContext& g, const QString& path, const QList<tMailRec>& records) {
  // Appends already waiting for this store keep their place in front.
  if (AppendsQueuedFor(g.state(), path)) return Write::Held;
  auto store = OpenStoreToAppend(g, path);
  if (!store->isOpen()) {
    return store->error() == ExclusiveFile::OpenError::Busy ? Write::Held : Write::Failed;
  }
  return AppendWhole(store->file(), NumberedRecords(g, store->file(), records)) ? Write::Done
                                                                                : Write::Failed;
}

// Writes the records, retrying a store held by another writer for a short while.
void writeHeld(GatewayContext& g, QString path, QList<tMailRec> records, int attempt,
               std::function<void(bool)> done) {
  const Write result = writeOnce(g, path, records);
  if (result == Write::Held && attempt < kHeldRetries) {
    const int delay = attempt < kQuickRetries ? kQuickRetryMs : kSlowRetryMs;
    QTimer::singleShot(delay, g.timerOwner(), [&g, path, records, attempt, done] {
      writeHeld(g, path, records, attempt + 1, done);
    });
    return;
  }
  if (result != Write::Done) {
    g.Log(true, QStringLiteral("!!! ") + QFileInfo(path).fileName() +
                    (result == Write::Held ? QStringLiteral(" - held by another writer !!!")
                                           : QStringLiteral(" - WriteFile error !!!")));
  }
  done(result == Write::Done);
}

QByteArray bareAddress(const QByteArray& toe) {
  return toe.mid(1, toe.size() - 2);
}

void setStoreLamp(std::uint8_t& bits) {
  bits |= kLampStore;
}

void reportWritten(GatewayContext& g, const tMailRec& report, const QByteArray& text) {
  GatewayState& gs = g.state();
  g.traffic().trafficLine(gs.cfg.Pop3TxtMask, bareAddress(report.Toe),
                          "!Undispatched SMS: !" + LogText(text));
  setStoreLamp(gs.Lamps.pop3Bits);
}

// Everything that follows once the mail's own records are on disk.
PlanOutcome completeStoredPlan(GatewayContext& g, const MailPlan& plan, bool jobsFirst) {
  GatewayState& gs = g.state();
  PlanOutcome out;
  out.stored = true;
  const QString pop3 = gs.file(files::kPop3Tmp);
  const auto written = [&out](const char* name) {
    const QString n = QLatin1String(name);
    if (!out.filesWritten.contains(n)) out.filesWritten << n;
  };

  if (jobsFirst) {
    out.jobsWritten = static_cast<int>(plan.jobs.size());
    for (const tMailRec& job : plan.jobs) {
      g.traffic().trafficLine(gs.cfg.SmtpTxtMask, TelNoFromStr(job.Toe), LogText(job.MimeBody));
    }
    if (plan.jobStore == files::kSmtpWaitTmp) {
      gs.WaitLamp |= kLampStore;
    } else {
      setStoreLamp(gs.Lamps.smtpBits);
    }
    written(plan.jobStore);
    for (qsizetype i = 0; i < plan.reports.size(); ++i) {
      if (AppendRecord(g, pop3, plan.reports[i], true) == AppendResult::Failed) continue;
      ++out.reportsWritten;
      reportWritten(g, plan.reports[i], plan.reportTexts.value(i));
      written(files::kPop3Tmp);
    }
  } else {
    out.reportsWritten = static_cast<int>(plan.reports.size());
    for (qsizetype i = 0; i < plan.reports.size(); ++i)
      reportWritten(g, plan.reports[i], plan.reportTexts.value(i));
    if (!plan.reports.isEmpty()) written(files::kPop3Tmp);
  }

  for (const tMailRec& copy : plan.copies) {
    if (AppendRecord(g, pop3, copy, true) == AppendResult::Failed) continue;
    setStoreLamp(gs.Lamps.pop3Bits);
    written(files::kPop3Tmp);
  }

  const DateTime routeEnd = g.clock().now() + gs.cfg.AutoPop3RouteTout / 1440.0;
  for (const QByteArray& telNo : plan.routedTelNos)
    NoteAutoRoute(gs, telNo, plan.routePC, routeEnd, g.clock().now());

  WaitStoreState& wait = gs.WaitStore;
  if (plan.earliestWait != 0 && wait.WaitNextTime != 0 && wait.WaitNextTime > plan.earliestWait) {
    wait.WaitNextTime = plan.earliestWait;
  }

  if (!gs.cfg.CmdOnUndispatched.isEmpty() && g.hooks().runHookCommand) {
    for (int i = 0; i < plan.undispatchedCommands; ++i) {
      g.hooks().runHookCommand(gs.cfg.CmdOnUndispatched);
    }
  }
  return out;
}

}  // namespace

void CommitMailPlan(GatewayContext& g, MailPlan plan,
                    std::function<void(const PlanOutcome&)> done) {
  const bool jobsFirst = !plan.jobs.isEmpty();
  QList<tMailRec> own = jobsFirst ? plan.jobs : plan.reports;
  if (own.isEmpty()) {
    done(completeStoredPlan(g, plan, false));
    return;
  }
  const QString path = g.state().file(jobsFirst ? plan.jobStore : files::kPop3Tmp);
  auto shared = std::make_shared<MailPlan>(std::move(plan));
  writeHeld(g, path, std::move(own), 0, [&g, shared, jobsFirst, done](bool ok) {
    done(ok ? completeStoredPlan(g, *shared, jobsFirst) : PlanOutcome{});
  });
}

}  // namespace kolvane
