#include <QFile>

#include "context/gateway_context.h"
#include "mail/store_file.h"
#include "mail/store_protocols.h"
#include "mail/store_repair.h"

namespace kolvane {

namespace {

constexpr char kSmtpIns[] = "Smtp.ins";
constexpr char kSmtpApp[] = "Smtp.app";

// Appends the whole of one file to another. The merge's files are its own, so a busy file is
// not queued: the merge stops and its working files are picked up by the next one. A record cut
// off at the end of `to` (a crash mid-write) is set aside first, so no job joins it.
bool appendFile(GatewayContext& g, const QString& from, const QString& to) {
  const auto bytes = ReadWholeFile(from);
  if (!bytes) return false;
  if (bytes->isEmpty()) return true;
  auto store = OpenStoreToAppend(g, to);
  return store->isOpen() && AppendWhole(store->file(), *bytes);
}

// Moves `from` to the end of `to`, or becomes `to` when that does not exist.
bool moveToEnd(GatewayContext& g, const QString& from, const QString& to) {
  if (!QFile::exists(to)) return QFile::rename(from, to);
  return appendFile(g, from, to) && QFile::remove(from);
}

// Working files of an interrupted merge hold jobs: the priority run and the taken mail store go
// in front of the priority store, jobs that arrived meanwhile to the end of the mail store. A
// crash in here can repeat a job, never lose one. False: leave the merge for next time.
bool recoverInterruptedMerge(GatewayContext& g) {
  const GatewayState& gs = g.state();
  const QString priHTmp = gs.file(files::kSmtpPriHTmp);
  const QString priHRun = gs.file(files::kSmtpPriHRun);
  if (QFile::exists(priHRun)) {
    if (QFile::exists(priHTmp) && !(appendFile(g, priHTmp, priHRun) && QFile::remove(priHTmp))) {
      return false;
    }
    if (!QFile::rename(priHRun, priHTmp)) return false;
  }
  const QString ins = gs.file(kSmtpIns);
  if (QFile::exists(ins) && !moveToEnd(g, ins, priHTmp)) return false;
  const QString app = gs.file(kSmtpApp);
  if (QFile::exists(app) && !moveToEnd(g, app, gs.file(files::kSmtpTmp))) return false;
  return true;
}

}  // namespace

void PriHMerge(GatewayContext& g, const std::function<void()>& duringMerge) {
  const GatewayState& gs = g.state();
  if (!recoverInterruptedMerge(g)) return;
  const QString priHTmp = gs.file(files::kSmtpPriHTmp);
  const QString priHRun = gs.file(files::kSmtpPriHRun);
  const QString smtpTmp = gs.file(files::kSmtpTmp);
  const QString ins = gs.file(kSmtpIns);
  const QString app = gs.file(kSmtpApp);
  if (!QFile::exists(priHTmp)) return;
  if (!QFile::exists(smtpTmp)) {
    QFile::rename(priHTmp, smtpTmp);
    return;
  }
  if (!QFile::rename(priHTmp, priHRun)) return;
  if (!QFile::rename(smtpTmp, ins)) return;
  if (duringMerge) duringMerge();
  if (!appendFile(g, ins, priHRun) || !QFile::remove(ins)) return;
  if (QFile::exists(smtpTmp)) {
    // A writer started a new mail store meanwhile: its jobs follow the merged ones.
    if (!QFile::rename(smtpTmp, app)) return;
    if (!QFile::rename(priHRun, smtpTmp)) return;
    if (appendFile(g, app, smtpTmp)) QFile::remove(app);
    return;
  }
  QFile::rename(priHRun, smtpTmp);
}

}  // namespace kolvane
