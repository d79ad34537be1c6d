#include "gsm/at_automaton.h"

#include <exception>
#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_engine.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/send_failure.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

// The relation's first "AT" is out and has not been answered yet.
bool KickOffInFlight(const LinkState& link) {
  return link.FirstOkPending && link.GsmSendStr == at::kAt && link.At.writes > 0;
}

// A garbled answer counts as a time-out of the kick-off: written again within its retries.
void KickOffAgain(GatewayContext& g) {
  LinkState& link = g.link();
  if (link.GsmSendOn || link.NoAnswerCnt <= 0 || link.NoAnswerCnt >= 4) return;
  ++link.NoAnswerCnt;
  link.GsmSendOn = true;
  link.LastActTick = g.clock().tick();
}

// The send command is answered by its prompt: the body follows, ended by Ctrl-Z.
void PromptGiven(GatewayContext& g) {
  LinkState& link = g.link();
  link.WaitPrompt = false;
  // Anything still owed before it was lost.
  link.At.owed = 0;
  link.At.writes = 0;
  at::DebugLog(g, QStringLiteral("->>"));
  link.GsmSendStr = link.GsmSmsBody + at::kCtrlZ;
  link.GsmSendOn = true;
  link.NoAnswerCnt = 0;
  // Networks take up to a minute or two to accept an SMS.
  link.GsmTimeout = static_cast<std::uint32_t>(g.state().cfg.SendResultTimeout) * 1000u;
  link.WaitResult = true;
}

// The send command ended without a prompt: the body is not written blindly, the session ends
// and the job waits for the next one.
void NoPrompt(GatewayContext& g, const at::FinalResult& result) {
  LinkState& link = g.link();
  link.WaitPrompt = false;
  if (!result.ok()) ++link.ErrCnt;
  g.Log(true, QStringLiteral("GSM Busy - End of session"));
  link.GsmSendOn = false;
  link.GsmSendStr.clear();
  link.GsmTimeout = at::kCommandTimeout;
  link.NoAnswerCnt = 100;
  link.WaitResult = false;
}

AtState FinalStep(GatewayContext& g, AtState state, const at::FinalResult& result) {
  const LinkState& link = g.link();
  if (link.WaitPrompt) {
    NoPrompt(g, result);
    return AtState::None;
  }
  if (result.ok()) return at::OkTransition(g, state);
  if (result.notSupported() && !link.WaitResult && at::Optional(state))
    return at::NotSupported(g, state);
  if (link.WaitResult) {
    JobNotSent(g, FinalResultText(result), IsTemporarySendError(result));
    return AtState::Failed;
  }
  return at::ErrorTransition(g, state);
}

void ReplyStep(GatewayContext& g) {
  LinkState& link = g.link();
  const QByteArray line = link.GsmRecvStr;
  const AtState state = at::AnsweredState(link);
  at::DebugLog(g, QStringLiteral("->|") + QString::fromUtf8(at::Traced(line)) + QLatin1Char('|'));
  const at::Reading r = at::ReadLine(g, line);
  AtState next = AtState::None;
  switch (r.kind) {
    case at::LineKind::Unsolicited:
      at::UnsolicitedCode(g, r);
      return;
    case at::LineKind::Continuation:
      // A "+CMTI" there may be a text as well; one listing more is cheap, a missed SMS is not.
      if (r.code == at::UnsolicitedKind::NewMessage) at::UnsolicitedCode(g, r);
      return;
    case at::LineKind::Echo:
      // The answer is still awaited, and a late one must not find the watchdog given up.
      return;
    case at::LineKind::Prompt:
      if (link.WaitPrompt) PromptGiven(g);
      return;
    case at::LineKind::Information:
      at::InformationLine(g, r.text.toUpper());
      return;
    case at::LineKind::Final:
      if (r.credited) next = FinalStep(g, state, *r.final);
      break;
  }
  if (next != AtState::None) at::CommandStep(g, next);
}

}  // namespace

void RecvATcmd(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  try {
    QByteArray& recv = link.GsmRecvStr;
    if (!recv.isEmpty() && static_cast<unsigned char>(recv.back()) > 127 && KickOffInFlight(link)) {
      // Noise at connect garbles the kick-off's answer: no line error, the kick-off is asked
      // again once the garbled line is over.
      link.At.kickOffGarbled = true;
      recv.clear();
    } else if (!recv.isEmpty() && static_cast<unsigned char>(recv.back()) > 127) {
      // Noise sends such bytes by the thousand: one line per relation, the rest counted.
      if (link.Faults.first(fillPlaceholders(gateway.Text(47), {QStringLiteral(">127")}))) {
        gateway.Log(true,
                    fillPlaceholders(gateway.Text(47),
                                     {QString::number(static_cast<unsigned char>(recv.back()))}));
      }
      if (link.ComErrCnt < 255) ++link.ComErrCnt;
      gateway.state().RestartWanted = true;
      recv.clear();
    }
    if (at::ByteReceived(gateway)) PromptGiven(gateway);
    if (!recv.isEmpty() && IsLineEnd(recv.back())) {
      recv.chop(1);
      if (std::exchange(link.At.kickOffGarbled, false))
        KickOffAgain(gateway);
      else if (!recv.isEmpty())
        GsmAutomat(gateway, AtState::None);
      link.GsmRecvStr.clear();
    }
  } catch (const std::exception&) {
    const QString text = QStringLiteral("Any error in RecvATcmd");
    if (link.Faults.first(text)) gateway.Log(true, text);
    link.GsmRecvStr.clear();
  }
}

void GsmAutomat(GatewayContext& gateway, AtState N) {
  if (N == AtState::None) return ReplyStep(gateway);
  if (N == AtState::Delete) {
    gateway.link().DelCnt = 1;
    gateway.link().DelPos = 0;
  }
  at::CommandStep(gateway, N);
}

void KickOffAT(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  at::NewCommand(link);
  // A modem left at its prompt by anyone (a crash, a power cut, another program) would take
  // every command for text: the connection's first command is ESC.
  if (!std::exchange(link.At.kickedOff, true)) link.At.escapeWanted = true;
  link.GsmSendStr = at::kAt;
  link.GsmTimeout = at::kKickOffTimeout;
  link.NoAnswerCnt = 0;
  link.LastSendTick = static_cast<Tick>(-1001);
  link.DelCnt = 0;
  link.DelPos = -1;
  link.DelStandIn = false;
  link.WaitPrompt = false;
  link.WaitResult = false;
  link.SmsSendFail = false;
  link.IndicationOn = false;
  link.NotRegistered = false;
  link.ReadPhaseDone = false;
  link.ListingAnnounced = false;
  link.ListReread = false;
  link.MemIdx = 0;  // a round reads the SIM first
  link.RoundTick = gateway.clock().tick();
  link.GsmSendOn = true;
}

void ClearCommandInFlight(LinkState& link) {
  link.GsmSendOn = false;
  link.GsmSendStr.clear();
  link.GsmRecvStr.clear();
  link.NoAnswerCnt = 0;
  at::ClearEngine(link);
  link.DelStandIn = false;
  link.WaitPrompt = false;
  link.WaitResult = false;
  link.ListTick = 0;
  link.ListBuf.clear();
  link.ListPrev.clear();
  link.ListDone = false;
  link.DelPos = -1;
  link.DelCnt = 0;
}

namespace {

// The body is out: its result is awaited SendResultTimeout, nothing else is written meanwhile
// and the relation stays open. A stop waits for it a short while only.
void ResultWatch(GatewayContext& g, Tick passTick) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  Tick due = link.LastSendTick + link.GsmTimeout;
  const bool stopping = gs.CloseWanted || gs.StopPending;
  const Tick stopDue = gs.StopAskedAt + at::kStopResultWaitMs;
  if (stopping && tickBefore(stopDue, due)) due = stopDue;
  if (!tickBefore(due, passTick)) return;
  at::NewCommand(link);  // a result that still comes is a late one
  link.NoAnswerCnt = 0;
  link.GsmSendOn = false;
  link.GsmTimeout = at::kCommandTimeout;
  link.LastActTick = passTick;
  // Stopping, the relation's end settles the job: sent when its "+CMGS" came, else unsent.
  if (stopping) return;
  if (link.SmsAccepted) return at::SmsSent(g);  // "+CMGS" came, only its "OK" did not
  // A network this slow is as good as out of order: the job waits for its retry.
  link.ResultGivenUp = true;
  SendFailedTemporarily(
      g, fillPlaceholders(g.Text(468), {QString::number(gs.cfg.SendResultTimeout)}).toUtf8());
}

}  // namespace

void AnswerWatch(GatewayContext& gateway, Tick passTick) {
  LinkState& link = gateway.link();
  GatewayState& gs = gateway.state();
  if (link.NoAnswerCnt <= 0) return;
  if (link.WaitResult) return ResultWatch(gateway, passTick);
  // Bytes still arriving for the command (a long listing) are its answer under way.
  if (!tickBefore(link.LastSendTick + link.GsmTimeout, passTick) ||
      !tickBefore(link.AnswerActTick + link.GsmTimeout, passTick))
    return;
  // Closing: a command that timed out is not repeated; the relation ends without its answer.
  if (gs.CloseWanted) {
    at::NewCommand(link);  // an answer that still comes is a late one
    link.NoAnswerCnt = 0;
    link.GsmSendOn = false;
    return;
  }
  // A PIN is entered once: the SIM's next "+CPIN:" tells whether it took.
  if (link.GsmSendStr.startsWith(at::kPinEntry)) return at::PinEntryTimedOut(gateway);
  if (link.NoAnswerCnt >= 4) {
    // Set to end at once: the answer was no prompt, a bad one, or an error.
    const bool endedAtOnce = link.NoAnswerCnt >= 100;
    link.NoAnswerCnt = 0;
    const QString& cmd = gs.cfg.CmdOnConnectFailed;
    const auto runHook = [&] {
      if (!cmd.isEmpty() && gateway.hooks().runHookCommand) gateway.hooks().runHookCommand(cmd);
    };
    if (link.CpasValue == 3 || link.CpasValue == 4) {
      gateway.Log(true, gateway.Text(64));
    } else if (endedAtOnce || link.WaitPrompt || link.WaitResult) {
      gateway.Log(true, gateway.Text(63));
      runHook();
    } else if (const auto line = link.Silence.failed(gateway.Text(63), passTick)) {
      // A modem that never answers is one outage, however many relations meet it.
      gateway.Log(true, *line);
      if (link.Silence.began()) runHook();
    }
    if (gs.TestStart) gs.TestStartErr = link.GsmConnected ? 5 : 3;
    return;
  }
  ++link.NoAnswerCnt;
  if (link.WaitPrompt || link.WaitResult)
    link.LastSendTick = passTick;  // an SMS body is never written twice
  else
    link.GsmSendOn = true;
  link.LastActTick = passTick;
}

}  // namespace kolvane
