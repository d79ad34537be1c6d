#include "gsm/at_automaton.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/unsolicited_code.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

// "ERR" right at the start, or after "+CMS" where the modem puts its SMS error code.
bool IsErrorLine(const QByteArray& upper) {
  const qsizetype err = upper.indexOf("ERR");
  if (err == 0 || err == 1) return true;
  return upper.startsWith("+CMS") && err >= 4 && err <= 6;
}

// While the list is coming in every byte refreshes the stall timer; zero would mean idle.
Tick NonZeroTick(Tick t) {
  return t == 0 ? 1 : t;
}

// The relation's first "AT" is out and has not been answered yet.
bool KickOffInFlight(const LinkState& link) {
  return link.FirstOkPending && link.GsmSendStr == at::kAt && link.WritesUnanswered > 0;
}

// A garbled answer counts as a time-out of the kick-off: written again within its retries.
void KickOffAgain(GatewayContext& g) {
  LinkState& link = g.link();
  if (link.GsmSendOn || link.NoAnswerCnt <= 0 || link.NoAnswerCnt >= 4) return;
  ++link.NoAnswerCnt;
  link.GsmSendOn = true;
  link.LastActTick = g.clock().tick();
}

void PromptAwaited(GatewayContext& g) {
  LinkState& link = g.link();
  const QByteArray& recv = link.GsmRecvStr;
  const bool visible = std::any_of(recv.begin(), recv.end(),
                                   [](char c) { return static_cast<unsigned char>(c) > 32; });
  if (!visible) return;
  const qsizetype prompt = recv.indexOf('>');
  const bool isPrompt = prompt == 0 || prompt == 1;
  // Late answers to earlier commands come before the prompt; they are read as lines.
  if (!isPrompt && link.LateAnswersOwed > 0) return;
  // A whole line may still turn out to be an unsolicited code, set aside like any other.
  if (!isPrompt && !IsLineEnd(recv.back())) return;
  if (!isPrompt && RecogniseUnsolicited(recv.trimmed(), {}) != Unsolicited::None) return;
  link.WaitPrompt = false;
  if (isPrompt) {
    // The send command is answered; anything still owed before it was lost.
    link.LateAnswersOwed = 0;
    link.WritesUnanswered = 0;
    at::DebugLog(g, QStringLiteral("->>"));
    link.GsmSendStr = link.GsmSmsBody + at::kCtrlZ;
    link.GsmSendOn = true;
    link.NoAnswerCnt = 0;
    link.GsmTimeout = at::kLongTimeout;
    link.WaitResult = true;
  } else {
    // Something else came first: the body is not written blindly.
    g.Log(true, QStringLiteral("GSM Busy - End of session"));
    link.GsmSendOn = false;
    link.GsmSendStr.clear();
    link.GsmTimeout = at::kCommandTimeout;
    link.NoAnswerCnt = 100;
    link.WaitResult = false;
  }
}

// The information lines each command expects; they answer nothing else.
bool ExpectedLine(const LinkState& link, const QByteArray& upper) {
  if (link.WaitResult) return upper.startsWith("+CMGS") || upper.startsWith("+CMGW");
  // The send command's own answer comes only after its prompt and body.
  if (link.WaitPrompt) return false;
  const QByteArrayView prefix = AnswerPrefixOf(link.GsmSendStr);
  return !prefix.isEmpty() && upper.startsWith(prefix);
}

// True for a line that belongs to the late answer of an earlier command: the modem answers in
// order, so while such answers are owed every line up to their final results is theirs. A line
// the command in flight expects, or its echo, shows they were lost.
bool LateAnswerLine(GatewayContext& g, const QByteArray& line, const QByteArray& upper,
                    bool final) {
  LinkState& link = g.link();
  if (link.LateAnswersOwed <= 0) return false;
  if (line == link.GsmSendStr || (!final && ExpectedLine(link, upper))) {
    link.LateAnswersOwed = 0;
    return false;
  }
  if (final) {
    --link.LateAnswersOwed;
    // What a listing collected so far was that answer, not the list.
    if (link.ListTick != 0) {
      link.ListBuf.clear();
      link.ListPrev.clear();
    }
  }
  return true;
}

void ReplyStep(GatewayContext& g) {
  LinkState& link = g.link();
  const QByteArray line = link.GsmRecvStr;
  const int state = at::AnsweredState(link);
  at::DebugLog(g, QStringLiteral("->|") + QString::fromUtf8(at::Traced(line)) + QLatin1Char('|'));
  if (at::SetAside(g, line)) return;
  const QByteArray upper = line.toUpper();
  const bool ok = upper == "OK";
  const bool final = ok || IsErrorLine(upper);
  if (LateAnswerLine(g, line, upper, final)) return;
  if (final && link.WritesUnanswered > 0) --link.WritesUnanswered;
  int next = at::kNoState;
  if (ok) {
    next = at::OkTransition(g, state);
  } else if (final) {
    next = at::ErrorTransition(g, state);
  } else if (line == link.GsmSendStr) {
    // The echo, before "ATE0" took effect: the answer is still awaited, and a late one must not
    // find the watchdog given up and the relation ended.
  } else {
    at::InformationLine(g, upper);
  }
  if (next != at::kNoState) at::CommandStep(g, next);
}

}  // namespace

void RecvATcmd(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  try {
    QByteArray& recv = link.GsmRecvStr;
    if (!recv.isEmpty() && static_cast<unsigned char>(recv.back()) > 127 && KickOffInFlight(link)) {
      // Noise at connect garbles the kick-off's answer: no line error, the kick-off is asked
      // again once the garbled line is over.
      link.KickOffGarbled = true;
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
    if (link.WaitPrompt) PromptAwaited(gateway);
    if (link.ListTick != 0) {
      link.ListTick = NonZeroTick(gateway.clock().tick());
      if (!recv.isEmpty()) link.ListBuf += recv.back();
    }
    if (!recv.isEmpty() && IsLineEnd(recv.back())) {
      recv.chop(1);
      if (std::exchange(link.KickOffGarbled, false))
        KickOffAgain(gateway);
      else if (!recv.isEmpty())
        GsmAutomat(gateway, at::kNoState);
      link.GsmRecvStr.clear();
    }
  } catch (const std::exception&) {
    const QString text = QStringLiteral("Any error in RecvATcmd");
    if (link.Faults.first(text)) gateway.Log(true, text);
    link.GsmRecvStr.clear();
  }
}

void GsmAutomat(GatewayContext& gateway, int N) {
  if (N < 0) return ReplyStep(gateway);
  if (N == 19) {
    gateway.link().DelCnt = 1;
    gateway.link().DelPos = 0;
  }
  at::CommandStep(gateway, N);
}

void KickOffAT(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  at::NewCommand(link);
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
  link.RoundTick = gateway.clock().tick();
  link.GsmSendOn = true;
}

void CommandWritten(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  const Tick now = gateway.clock().tick();
  link.NoAnswerCnt += 1;
  link.LastSendTick = now;
  link.LastActTick = now;
  link.AnswerActTick = now;
  ++link.WritesUnanswered;
}

void ClearCommandInFlight(LinkState& link) {
  link.GsmSendOn = false;
  link.GsmSendStr.clear();
  link.GsmRecvStr.clear();
  link.NoAnswerCnt = 0;
  link.WritesUnanswered = 0;
  link.LateAnswersOwed = 0;
  link.KickOffGarbled = false;
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

void AnswerWatch(GatewayContext& gateway, Tick passTick) {
  LinkState& link = gateway.link();
  GatewayState& gs = gateway.state();
  if (link.NoAnswerCnt <= 0) return;
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
  if (link.NoAnswerCnt >= 4) {
    link.NoAnswerCnt = 0;
    if (link.CpasValue == 3 || link.CpasValue == 4) {
      gateway.Log(true, gateway.Text(64));
    } else {
      gateway.Log(true, gateway.Text(63));
      const QString& cmd = gs.cfg.CmdOnConnectFailed;
      if (!cmd.isEmpty() && gateway.hooks().runHookCommand) gateway.hooks().runHookCommand(cmd);
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
