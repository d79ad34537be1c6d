#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/relation_phases.h"
#include "gsm/sms_list_reader.h"
#include "settings/catalogue.h"

namespace kolvane::at {

namespace {

constexpr std::pair<const char*, int> kStateOfCommand[] = {
    {kAt, 1},          {kActivity, 2},      {kEchoOff, 4},         {kServiceCentre, 5},
    {kFormatPdu, 8},   {kFormatText, 9},    {kShowTextParams, 10}, {kSignal, 11},
    {kStorageSim, 13}, {kStoragePhone, 14}, {kListPdu, 16},        {kListText, 17},
    {kCharsetGsm, 51}, {kCharsetUcs2, 52},  {kParamsGsm, 54},      {kParamsUcs2, 55},
    {kPinQuery, 60},   {kRegistration, 62}, {kIndication, 63},
};

void SetLinkIdle(GatewayContext& g) {
  if (!g.link().LinkFailed) g.state().Lamps.linkStage = 2;
}

bool IsBusy(std::uint8_t cpas) {
  return cpas == 3 || cpas == 4;
}

// After "ATE0" (or instead of it): the service-centre number once per run, then the format.
int AfterEcho(const LinkState& link) {
  return link.CscaPending ? 5 : 7;
}

int NextDelete(LinkState& link) {
  ++link.DelCnt;
  ++link.DelPos;
  return link.DelPos >= link.SmsRecvArr.size() ? 20 : 19;
}

QString ModeName(int state) {
  return state == 8 ? QStringLiteral("PDU") : QStringLiteral("text");
}

void FirstOk(GatewayContext& g) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  link.FirstOkPending = false;
  link.GsmConnected = true;
  g.Log(true, g.Text(50));
  if (gs.RefreshMode) {
    gs.RefreshMode = false;
    gs.RefreshOffset = 0;
  }
  SetLinkIdle(g);
}

}  // namespace

void SmsSent(GatewayContext& g) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  link.WaitResult = false;
  SetLinkIdle(g);
  link.SmsSendDone = true;
  g.Log(true, fillPlaceholders(g.Text(55), {QString::fromUtf8(gs.JobTelNo)}));
  ++gs.cfg.SmsOutCnt;
  gs.CountersChanged = true;
  link.NoAnswerCnt = 0;
}

namespace {

// A failed storage selection. The phone storage is given up for the run; the read phase
// either ends here (send phase next) or, for the one device that needs it, goes on.
int StorageFailed(GatewayContext& g) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  if (link.MemIdx != 1) return 99;
  link.MemIdx = 0;
  link.PhoneMemOn = false;
  if (gs.cfg.GsmDevice == QLatin1String("SBlueGateABrave")) return 18;
  link.GsmSendStr.clear();
  link.GsmSendOn = false;
  link.NoAnswerCnt = 100;
  scheduleSendPhaseFrom(g, g.clock().tick());
  return 99;
}

}  // namespace

void DebugLog(GatewayContext& gateway, const QString& text) {
  gateway.Log(gateway.state().cfg.Debug, text);
}

int AnsweredState(const LinkState& link) {
  const QByteArray& sent = link.GsmSendStr;
  if (link.DelStandIn && sent == kAt) return 19;
  for (const auto& [command, state] : kStateOfCommand)
    if (sent == command) return state;
  if (sent.startsWith(kDelete)) return 19;
  if (sent.startsWith(kPinEntry)) return 61;
  return link.SmsAccepted ? 56 : kNoState;
}

int OkTransition(GatewayContext& g, int state) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  if (link.FirstOkPending) FirstOk(g);

  int next = kNoState;
  switch (state) {
    case 1:
      link.AutPhase = 1;
      gs.JobUCS2 = false;
      gs.JobLast = false;
      link.SmsAccepted = false;
      next = 60;  // the SIM and the network first
      break;
    case 2:
      link.AutPhase = 2;
      if (IsBusy(link.CpasValue)) {
        next = 3;
      } else {
        FreeSMSArr(link);
        next = gs.cfg.EchoSkip ? AfterEcho(link) : 4;
      }
      break;
    case 4:
      next = AfterEcho(link);
      break;
    case 5:
      link.CscaPending = false;
      next = 7;
      break;
    case 8:
    case 9:
      g.Log(true, fillPlaceholders(g.Text(52), {ModeName(state)}));
      next = gs.cfg.PDUText ? 10 : 11;
      break;
    case 10:
      next = 11;
      break;
    case 11:
      next = AfterSignal(g);
      break;
    case 13:
    case 14:
      next = 15;
      break;
    case 16:
    case 17:
      next = 18;
      break;
    case 19:
      next = NextDelete(link);
      break;
    case 51:
    case 52:
      next = 53;
      break;
    case 54:
    case 55:
      switch (link.AutPhase) {
        case 1:
          next = 2;
          break;
        case 2:
          next = 56;
          break;
        case 3:
          next = 255;
          break;
        default:
          next = 0;
      }
      break;
    case 56:
      break;
    case 60:
    case 61:
    case 62:
    case 63:
      next = SimOk(g, state);
      break;
    default:
      DebugLog(g, QStringLiteral("GSM automat - unexpected state \"InComSendNo\" : ") +
                      QString::number(state));
  }

  // The body was out: whatever the command looked like, the SMS has gone.
  if (link.WaitResult) SmsSent(g);
  return next;
}

int ErrorTransition(GatewayContext& g, int state) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  if (link.WaitPrompt || link.WaitResult) {
    SetLinkIdle(g);
    g.Log(true, fillPlaceholders(g.Text(59), {QString::fromUtf8(gs.JobTelNo)}));
    link.WaitResult = false;
    link.SmsSendFail = true;
    link.NoAnswerCnt = 0;
    return 99;
  }
  switch (state) {
    case 4:
      g.Log(true, g.Text(56));
      gs.cfg.EchoSkip = true;  // for the rest of the run; not written back
      return AfterEcho(link);
    case 8:
    case 9:
      g.Log(true, fillPlaceholders(g.Text(60), {ModeName(state)}));
      if (state == 9) g.Log(true, g.Text(53));
      return 0;
    case 13:
    case 14:
      return StorageFailed(g);
    case 16:
    case 17:
      g.Log(true, g.Text(62));
      return 18;
    case 19:
      ++link.ErrCnt;
      return NextDelete(link);
    case 60:
    case 61:
    case 62:
    case 63:
      return SimError(g, state);
    default:
      link.GsmSendStr.clear();
      link.GsmSendOn = false;
      link.NoAnswerCnt = 100;
      link.GsmTimeout = kCommandTimeout;
      ++link.ErrCnt;
      return 99;
  }
}

}  // namespace kolvane::at
