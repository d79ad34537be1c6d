#include <QFile>
#include <QFileInfo>

#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "core/main_cycle.h"
#include "gsm/at_automaton.h"

namespace kolvane {

namespace {

void restoreGsmCharset(Gateway& g) {
  g.state().JobUCS2 = false;
  g.link().AutPhase = 3;
  GsmAutomat(g, 50);
}

void resetRunPosition(GatewayState& gs) {
  gs.cfg.SmtpRunPos = 0;
  gs.SmtpRunNext = 0;
  gs.SmtpRunSize = -1;
}

// A run file read to within 4 bytes of its end is done with.
void dropUsedUpRunFile(Gateway& g) {
  GatewayState& gs = g.state();
  const QFileInfo run(gs.file(files::kSmtpRun));
  if (!run.exists() || (run.size() != 0 && gs.cfg.SmtpRunPos < run.size() - 4)) return;
  QFile::remove(run.filePath());
  resetRunPosition(gs);
  if (gs.JobUCS2) restoreGsmCharset(g);
}

// Once per relation the mail store becomes the run file.
void takeOverMailStore(Gateway& g) {
  GatewayState& gs = g.state();
  const CycleHooks& hooks = g.hooks().cycle;
  if (!gs.StoreMovePending || QFileInfo::exists(gs.file(files::kSmtpRun))) return;
  gs.StoreMovePending = false;
  if (hooks.priHMerge) hooks.priHMerge();
  if (!QFileInfo::exists(gs.file(files::kSmtpTmp))) return;
  if (!QFile::rename(gs.file(files::kSmtpTmp), gs.file(files::kSmtpRun))) return;
  gs.Lamps.smtpBits &= ~kLampStore;
  resetRunPosition(gs);
  if (gs.cfg.MaxSmsSendOn && hooks.smtpRunCut) hooks.smtpRunCut();
}

void nextJob(Gateway& g) {
  GatewayState& gs = g.state();
  if (!QFileInfo::exists(gs.file(files::kSmtpRun))) {
    g.Log(true, g.Text(85));
    gs.SendPhaseOn = false;
    return;
  }
  const auto& reader = g.hooks().cycle.readNextJob;
  const int result = reader ? reader() : -3;
  switch (result) {
    case 1:
      GsmAutomat(g, 56);
      break;
    case 2:
      GsmAutomat(g, 50);
      break;
    case 3:
      if (gs.JobUCS2) restoreGsmCharset(g);
      break;
    default:
      break;
  }
  // Nothing was read and no further phase is scheduled: the phase is over, or every later
  // start would be refused while it counts as running.
  if (result == 3 || result == -3) gs.SendPhaseOn = false;
}

}  // namespace

void sendPhaseStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (!(gs.SendPhaseAt < gs.TickBegin)) return;
  gs.SendPhaseAt = kNoTick;
  gs.SendPhaseDue = false;
  gs.SendPhaseOn = true;
  g.link().LastActTick = gs.TickBegin;
  if (gs.cfg.RunParamAsSMS && !gs.cfg.RunParDefTelNo.isEmpty() && g.hooks().cycle.queueParamAsSms) {
    g.hooks().cycle.queueParamAsSms();
  }
  dropUsedUpRunFile(g);
  takeOverMailStore(g);
  nextJob(g);
}

void nonDeliveryStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!link.SmsSendFail) return;
  link.SmsSendFail = false;
  link.LastActTick = gs.TickBegin;
  if (g.hooks().cycle.reportNonDelivery) g.hooks().cycle.reportNonDelivery();
  if (!gs.cfg.CmdOnNonDelivery.isEmpty() && g.hooks().runHookCommand) {
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
  gs.cfg.SmtpRunPos = gs.SmtpRunNext;
  scheduleSendPhase(g);
}

}  // namespace kolvane
