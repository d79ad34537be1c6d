#include <QFile>
#include <QFileInfo>

#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "gsm/at_automaton.h"
#include "gsm/relation_phases.h"
#include "mail/job_reader.h"
#include "mail/store_protocols.h"

namespace kolvane {

namespace {

const QString kNoMailsStatus = QStringLiteral("mail.none");

void restoreGsmCharset(Gateway& g) {
  g.state().JobUCS2 = false;
  g.link().AutPhase = 3;
  GsmAutomat(g, AtState::Charset);
}

// A run file read to within 4 bytes of its end is done with. The file goes before its
// position is reset, so a crash in between cannot send the run file again.
void dropUsedUpRunFile(Gateway& g) {
  GatewayState& gs = g.state();
  const QFileInfo run(gs.file(files::kSmtpRun));
  if (!run.exists() || (run.size() != 0 && gs.cfg.SmtpRunPos < run.size() - 4)) return;
  if (!QFile::remove(run.filePath())) return;
  AdvanceSmtpRunPos(g, 0);
  gs.SmtpRunNext = 0;
  gs.SmtpRunSize = -1;
}

// Starts the next job of the run file; true when the automaton now sends it or a later phase
// is scheduled.
bool nextJob(Gateway& g) {
  GatewayState& gs = g.state();
  if (gs.CloseWanted) {
    // Closing: the jobs left wait in the run file for the next run.
    gs.SendPhaseOn = false;
    return false;
  }
  if (!QFileInfo::exists(gs.file(files::kSmtpRun))) {
    g.LogStatus(kNoMailsStatus, g.Text(85));
    gs.SendPhaseOn = false;
    return false;
  }
  g.LogStatusEnded(kNoMailsStatus);
  const auto& reader = g.hooks().cycle.readNextJob;
  const int result = reader ? reader() : kJobNone;
  switch (result) {
    case kJobReady:
      GsmAutomat(g, AtState::SendJob);
      return true;
    case kJobReadyNewCharset:
      // After a character set restore the automaton would stop at the parameters.
      g.link().AutPhase = 2;
      GsmAutomat(g, AtState::Charset);
      return true;
    case kJobReported:
      return true;
    default:
      // Nothing was read and no further phase is scheduled: the phase is over, or every
      // later start would be refused while it counts as running.
      gs.SendPhaseOn = false;
      return false;
  }
}

}  // namespace

void sendPhaseStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (!tickDue(gs.SendPhaseAt, gs.TickBegin)) return;
  gs.SendPhaseAt = kNoTick;
  gs.SendPhaseDue = false;
  // Without the network every job would fail: they wait for a relation that has it.
  if (g.link().NotRegistered) return;
  gs.SendPhaseOn = true;
  g.link().LastActTick = gs.TickBegin;
  if (gs.cfg.RunParamAsSMS && !gs.cfg.RunParDefTelNo.isEmpty() && g.hooks().cycle.queueParamAsSms) {
    g.hooks().cycle.queueParamAsSms();
  }
  dropUsedUpRunFile(g);
  TakeOverMailStore(g);
  // The GSM character set comes back only when no job follows: a job of a store taken over
  // in this phase sets its own, and a restore in flight would be overwritten by it while the
  // job reader already counted on GSM.
  // Closing, the next relation's start sets the character set anyway.
  if (!nextJob(g) && gs.JobUCS2 && !gs.CloseWanted) restoreGsmCharset(g);
}

void nonDeliveryStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!link.SmsSendFail) return;
  link.SmsSendFail = false;
  link.LastActTick = gs.TickBegin;
  const bool reported = !g.hooks().cycle.reportNonDelivery || g.hooks().cycle.reportNonDelivery();
  // A job that waits for its retry leaves the run file all the same: the jobs behind it go on.
  if (reported && !gs.cfg.CmdOnNonDelivery.isEmpty() && g.hooks().runHookCommand) {
    g.hooks().runHookCommand(gs.cfg.CmdOnNonDelivery);
  }
  link.SmsSendDone = true;
}

void jobDoneStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!link.SmsSendDone) return;
  link.SmsSendDone = false;
  link.LastActTick = gs.TickBegin;
  AdvanceSmtpRunPos(g, gs.SmtpRunNext);
  scheduleSendPhase(g);
}

}  // namespace kolvane
