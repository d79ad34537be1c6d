#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/modem_error_text.h"
#include "gsm/relation_phases.h"
#include "gsm/send_failure.h"
#include "gsm/sms_list_reader.h"
#include "settings/catalogue.h"

namespace kolvane::at {

namespace {

constexpr std::pair<const char*, AtState> kStateOfCommand[] = {
    {kAt, AtState::Attention},
    {kActivity, AtState::Activity},
    {kEchoOff, AtState::EchoOff},
    {kNumericErrors, AtState::NumericErrors},
    {kServiceCentre, AtState::ServiceCentre},
    {kFormatPdu, AtState::FormatPdu},
    {kFormatText, AtState::FormatText},
    {kShowTextParams, AtState::ShowTextParams},
    {kSignal, AtState::Signal},
    {kStorageSim, AtState::StorageSim},
    {kStoragePhone, AtState::StoragePhone},
    {kListPdu, AtState::ListPdu},
    {kListText, AtState::ListText},
    {kCharsetGsm, AtState::CharsetGsm},
    {kCharsetUcs2, AtState::CharsetUcs2},
    {kParamsGsm, AtState::ParamsGsm},
    {kParamsUcs2, AtState::ParamsUcs2},
    {kPinQuery, AtState::PinQuery},
    {kRegistration, AtState::Registration},
    {kIndication, AtState::Indication},
};

void SetLinkIdle(GatewayContext& g) {
  if (!g.link().LinkFailed) g.state().Lamps.linkStage = 2;
}

bool IsBusy(std::uint8_t cpas) {
  return cpas == 3 || cpas == 4;
}

// After "ATE0" (or instead of it): the service-centre number once per run, then the format.
AtState AfterEcho(const LinkState& link) {
  return link.CscaPending ? AtState::ServiceCentre : AtState::Format;
}

// After the kick-off: numeric errors once per connection, before the SIM is asked (a busy or
// missing SIM says so only in numbers), then the SIM.
AtState AfterAttention(const LinkState& link) {
  return link.At.numericErrorsAsked ? AtState::PinQuery : AtState::NumericErrors;
}

// The entry in hand is gone from the device: what its place lists later is another SMS.
void DeleteConfirmed(GatewayContext& g) {
  const LinkState& link = g.link();
  if (link.DelPos < 0 || link.DelPos >= link.SmsRecvArr.size()) return;
  const std::int32_t index = link.SmsRecvArr[link.DelPos].MemPos;
  g.state().SmsStored.deleted(link.MemIdx, index);
  g.state().SmsActions.deleted(link.MemIdx, index);
}

AtState NextDelete(LinkState& link) {
  ++link.DelCnt;
  ++link.DelPos;
  return link.DelPos >= link.SmsRecvArr.size() ? AtState::DeleteDone : AtState::Delete;
}

QString ModeName(AtState state) {
  return state == AtState::FormatPdu ? QStringLiteral("PDU") : QStringLiteral("text");
}

void FirstOk(GatewayContext& g) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  link.FirstOkPending = false;
  link.GsmConnected = true;
  // A modem silent for a while (a restart, a re-plug) is asked for its indications anew.
  if (link.Silence.failures > 0) link.IndicationRefusals = 0;
  link.Silence = {};
  g.LogStatus(kLinkStatus + QStringLiteral("gsm"), g.Text(50));
  if (gs.RefreshMode) {
    gs.RefreshMode = false;
    gs.RefreshOffset = 0;
  }
  SetLinkIdle(g);
}

// What follows the parameters: the activity status while initialising, the job in the send
// phase, nothing after the character set is back.
AtState AfterParams(const LinkState& link) {
  switch (link.AutPhase) {
    case 1:
      return AtState::Activity;
    case 2:
      return AtState::SendJob;
    case 3:
      return AtState::Finished;
    default:
      return AtState::Stop;
  }
}

}  // namespace

void SmsSent(GatewayContext& g) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  link.WaitResult = false;
  link.GsmTimeout = kCommandTimeout;  // nothing is awaited any more
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
AtState StorageFailed(GatewayContext& g) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  if (link.MemIdx != 1) return AtState::Failed;
  link.MemIdx = 0;
  link.PhoneMemOn = false;
  if (gs.cfg.GsmDevice == QLatin1String("SBlueGateABrave")) return AtState::ListDone;
  link.GsmSendStr.clear();
  link.GsmSendOn = false;
  link.NoAnswerCnt = 100;
  scheduleSendPhaseFrom(g, g.clock().tick());
  return AtState::Failed;
}

// The error that ends the kick-off, in words; once while the same error lasts.
void ErrorLogged(GatewayContext& g) {
  LinkState& link = g.link();
  const QString text =
      fillPlaceholders(g.Text(176), {QString::fromUtf8(Traced(link.GsmSendStr)),
                                     ModemErrorText(g.language(), link.At.lastResult)});
  if (std::exchange(link.ErrorNotice, text) != text) g.Log(true, text);
}

}  // namespace

void DebugLog(GatewayContext& gateway, const QString& text) {
  gateway.Log(gateway.state().cfg.Debug, text);
}

AtState AnsweredState(const LinkState& link) {
  const QByteArray& sent = link.GsmSendStr;
  if (link.DelStandIn && sent == kAt) return AtState::Delete;
  for (const auto& [command, state] : kStateOfCommand)
    if (sent == command) return state;
  if (sent.startsWith(kDelete)) return AtState::Delete;
  if (sent.startsWith(kPinEntry)) return AtState::PinEntry;
  return link.SmsAccepted ? AtState::SendJob : AtState::None;
}

AtState OkTransition(GatewayContext& g, AtState state) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  if (link.FirstOkPending) FirstOk(g);

  AtState next = AtState::None;
  switch (state) {
    case AtState::Attention:
      link.AutPhase = 1;
      gs.JobUCS2 = false;
      gs.JobLast = false;
      link.SmsAccepted = false;
      link.SimBusySince.reset();
      next = AfterAttention(link);  // the SIM and the network first
      break;
    case AtState::Activity:
      link.AutPhase = 2;
      if (IsBusy(link.CpasValue)) {
        next = AtState::Busy;
      } else {
        FreeSMSArr(link);
        next = gs.cfg.EchoSkip ? AfterEcho(link) : AtState::EchoOff;
      }
      break;
    case AtState::EchoOff:
      next = AfterEcho(link);
      break;
    case AtState::NumericErrors:
      next = AtState::PinQuery;
      break;
    case AtState::ServiceCentre:
      link.CscaPending = false;
      next = AtState::Format;
      break;
    case AtState::FormatPdu:
    case AtState::FormatText:
      g.LogStatus(kLinkStatus + QStringLiteral("mode"),
                  fillPlaceholders(g.Text(52), {ModeName(state)}));
      next = gs.cfg.PDUText ? AtState::ShowTextParams : AtState::Signal;
      break;
    case AtState::ShowTextParams:
      next = AtState::Signal;
      break;
    case AtState::Signal:
      next = AfterSignal(g);
      break;
    case AtState::StorageSim:
    case AtState::StoragePhone:
      next = AtState::List;
      break;
    case AtState::ListPdu:
    case AtState::ListText:
      link.ErrorNotice.clear();  // the kick-off got through
      next = AtState::ListDone;
      break;
    case AtState::Delete:
      if (link.GsmSendStr.startsWith(kDelete)) DeleteConfirmed(g);
      next = NextDelete(link);
      break;
    case AtState::CharsetGsm:
    case AtState::CharsetUcs2:
      next = AtState::Params;
      break;
    case AtState::ParamsGsm:
    case AtState::ParamsUcs2:
      next = AfterParams(link);
      break;
    case AtState::SendJob:
      break;
    case AtState::PinQuery:
    case AtState::PinEntry:
    case AtState::Registration:
    case AtState::Indication:
      next = SimOk(g, state);
      break;
    default:
      DebugLog(g, QStringLiteral("GSM automat - unexpected state \"InComSendNo\" : ") +
                      QString::number(number(state)));
  }

  // The body was out: whatever the command looked like, the SMS has gone.
  if (link.WaitResult) SmsSent(g);
  return next;
}

AtState ErrorTransition(GatewayContext& g, AtState state) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  if (link.WaitPrompt || link.WaitResult) {
    JobNotSent(g, "ERROR", true);
    link.GsmTimeout = kCommandTimeout;
    return AtState::Failed;
  }
  switch (state) {
    case AtState::EchoOff:
      g.Log(true, g.Text(56));
      gs.cfg.EchoSkip = true;  // for the rest of the run; not written back
      return AfterEcho(link);
    case AtState::NumericErrors:
      return AtState::PinQuery;  // driven as before, with plain errors
    case AtState::FormatPdu:
    case AtState::FormatText:
      g.Log(true, fillPlaceholders(g.Text(60), {ModeName(state)}));
      if (state == AtState::FormatText) g.Log(true, g.Text(53));
      return AtState::Stop;
    case AtState::StorageSim:
    case AtState::StoragePhone:
      return StorageFailed(g);
    case AtState::ListPdu:
    case AtState::ListText:
      g.Log(true, g.Text(62));
      return AtState::ListDone;
    case AtState::Delete:
      ++link.ErrCnt;
      return NextDelete(link);
    case AtState::PinQuery:
    case AtState::PinEntry:
    case AtState::Registration:
    case AtState::Indication:
      return SimError(g, state);
    default:
      ErrorLogged(g);
      link.GsmSendStr.clear();
      link.GsmSendOn = false;
      link.NoAnswerCnt = 100;
      link.GsmTimeout = kCommandTimeout;
      ++link.ErrCnt;
      return AtState::Failed;
  }
}

bool Optional(AtState state) {
  switch (state) {
    case AtState::Activity:
    case AtState::EchoOff:
    case AtState::NumericErrors:
    case AtState::ServiceCentre:
    case AtState::ShowTextParams:
    case AtState::Signal:
    case AtState::ParamsGsm:
    case AtState::ParamsUcs2:
    case AtState::PinQuery:
    case AtState::Registration:
    case AtState::Indication:
      return true;
    default:
      return false;
  }
}

AtState LeftOutTransition(GatewayContext& g, AtState state) {
  switch (state) {
    case AtState::ServiceCentre:
      return AtState::Format;  // asked again by the next connection
    case AtState::PinQuery:
      return AtState::Registration;  // a SIM the modem does not ask about needs no PIN
    case AtState::Indication:
      return ReadingStart(g);  // polled
    default:
      return OkTransition(g, state);
  }
}

AtState NotSupported(GatewayContext& g, AtState state) {
  LinkState& link = g.link();
  g.Log(true, fillPlaceholders(g.Text(170), {QString::fromUtf8(link.GsmSendStr)}));
  link.At.leftOut.insert(CommandName(link.GsmSendStr));
  return LeftOutTransition(g, state);
}

}  // namespace kolvane::at
