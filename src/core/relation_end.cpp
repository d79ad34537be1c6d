#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "core/gateway_start.h"
#include "gsm/at_automaton.h"
#include "gsm/at_steps.h"
#include "gsm/gt_net_client.h"
#include "gsm/link_passes.h"
#include "gsm/relation_phases.h"
#include "gsm/serial_device_link.h"
#include "mail/job_reader.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

// The TCP close waits up to 101 steps of 200 ms for the gateway to drop the connection.
constexpr std::uint32_t kGtNetCloseWaitMs = 101 * 200;

void linkClosed(Gateway& g) {
  GatewayState& gs = g.state();
  gs.Lamps.linkStage = 0;
  gs.KickOffPending = false;
  if (gs.StopPending || gs.IntervalMs == 0 || gs.TestStartErr > 0) {
    gs.StopPending = false;
    RelationStop(g);
  }
}

void closeSerialLink(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  link.ComHandle->close();
  link.ComHandle.reset();
  g.LogStatus(kLinkStatus + QStringLiteral("closed"),
              serialDeviceOf(gs) + QLatin1Char(' ') + g.Text(88));
  if (link.ErrCnt > 3) g.Log(true, fillPlaceholders(g.Text(65), {QString::number(link.ErrCnt)}));
  link.ErrCnt = 0;
  linkClosed(g);
}

// True while the gateway connection is still being closed.
bool closeGatewayLink(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!link.GtNetClosing) {
    if (!link.GtNetConnected) return false;
    link.GtNetClosing = true;
    link.GtNetCloseUntil = gs.TickBegin + kGtNetCloseWaitMs;
    g.gtNet().disconnectGracefully();
  }
  const bool timeLeft = static_cast<std::int32_t>(link.GtNetCloseUntil - gs.TickBegin) > 0;
  if (link.GtNetConnected && timeLeft) return true;
  link.GtNetClosing = false;
  g.LogStatus(kLinkStatus + QStringLiteral("closed"), g.Text(122));
  linkClosed(g);
  return false;
}

// Whatever the relation was doing when it ended, the send phase ends with it: a phase left on
// would refuse every later start. A job whose "+CMGS:" came is sent even when its "OK" never
// did; any other job in flight stays at the run position for the next relation.
void sendPhaseEnded(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (link.WaitResult && link.SmsAccepted) at::SmsSent(g);
  if (link.SmsSendDone) AdvanceSmtpRunPos(g, gs.SmtpRunNext);
  link.SmsSendDone = false;
  link.SmsSendFail = false;
  link.WaitPrompt = false;
  link.WaitResult = false;
  link.SmsAccepted = false;
  link.ResultGivenUp = false;
  gs.SendPhaseDue = false;
  gs.SendPhaseOn = false;
  gs.SendPhaseAt = kNoTick;
}

}  // namespace

void logFaultSummary(Gateway& g) {
  for (const QString& line : g.link().Faults.takeSummary()) g.Log(true, line);
}

bool RelationAtSafePoint(Gateway& g) {
  const LinkState& link = g.link();
  if (g.passes().writePending() || link.ListDone || link.DelPos != -1 ||
      !link.SmsRecvArr.isEmpty() || link.SmsSendDone || link.SmsSendFail) {
    return false;
  }
  if (usesGatewayProtocol(g.state().cfg.GsmDevice)) {
    return !link.GateSendOn && !link.Gate.AnswerAwaited;
  }
  return !link.GsmSendOn && link.At.writes == 0;
}

void idleEndStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!gs.RelationOn || gs.RelationClosing) return;
  const bool closing = gs.CloseWanted && RelationAtSafePoint(g);
  if (closing && !gs.SendPhaseOn) {
    // A send phase still to come would start no job now.
    gs.SendPhaseAt = kNoTick;
    gs.SendPhaseDue = false;
  }
  if (gs.SendPhaseAt != kNoTick) return;
  const bool idle = tickBefore(idleEndTick(link), gs.TickBegin);
  if (!idle && !closing && link.ComErrCnt < RestartLimit) return;
  // New SMS announce themselves: the link stays open for them and for the next jobs.
  if (!gs.CloseWanted && relationParked(g)) return;
  if (gs.ExtraRoundWanted && !gs.ExtraRoundDone && !gs.CloseWanted) {
    // Ten or more SMS were listed: the device is read once more before the relation ends.
    gs.ExtraRoundDone = true;
    KickOffAT(g);
    return;
  }
  g.passes().closePrompt();
  gs.RelationClosing = true;
  gs.RelationOn = false;
  if (link.comHandleValid()) {
    link.ComHandle->setRts(false);
    link.ComHandle->setDtr(false);
  }
}

void relationEndStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!gs.RelationClosing || !link.RecvStopOK || !link.SendStopOK) return;
  if (link.comHandleValid()) closeSerialLink(g);
  if (closeGatewayLink(g)) return;
  // The link was gone before the relation ended (a failed write, a dropped connection): a Stop
  // asked for meanwhile still has to happen.
  if (gs.StopPending) {
    gs.StopPending = false;
    RelationStop(g);
  }
  if (gs.cfg.EndClose && gs.CloseAtTick == kNoTick) gs.CloseAtTick = tickAfter(gs.TickBegin, 3000);
  if (!gs.RelationIdle) {
    sendPhaseEnded(g);
    ClearCommandInFlight(link);
    logFaultSummary(g);
  }
  gs.RelationIdle = true;
}

}  // namespace kolvane
