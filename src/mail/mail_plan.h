#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "mail/mail_rec.h"
#include "platform/clock.h"

namespace kolvane {

class GatewayContext;

// Everything one mail becomes, decided before anything is written: the jobs (all in one
// store), the undispatched reports and the SMTP-to-POP3 copies (both for the POP3 store), the
// routing entries and the notification commands. Records get their PosID when written.
struct MailPlan {
  const char* jobStore = nullptr;  // file name of the jobs' store
  QList<tMailRec> jobs;
  QList<tMailRec> reports;
  QList<QByteArray> reportTexts;  // the text of each report as written, quoted-printable
  QList<tMailRec> copies;
  QList<QByteArray> routedTelNos;  // numbers whose answers go to the sending PC
  QByteArray routePC;
  int undispatchedCommands = 0;
  DateTime earliestWait = 0;  // preset time of jobs for the waiting store, 0 = none
};

// What reached the stores.
struct PlanOutcome {
  bool stored = false;  // the mail is kept (its jobs, or its reports when it has no job)
  int jobsWritten = 0;
  int reportsWritten = 0;
  QStringList filesWritten;  // names of the stores that received records
};

// Writes a plan. The mail's own records (its jobs, or its reports when it has no job) are
// written first, in one write, waiting briefly for a store held by another writer; only when
// they are on disk do the rest follow (copies, reports of a mail that also has jobs, routing,
// traffic lines, lamps, commands). done runs at once or later on the event loop.
void CommitMailPlan(GatewayContext& g, MailPlan plan, std::function<void(const PlanOutcome&)> done);

}  // namespace kolvane
