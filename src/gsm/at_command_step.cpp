#include <algorithm>

#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/pdu_codec.h"
#include "gsm/ucs2.h"

namespace kolvane::at {

namespace {

// The send command now, the body after the prompt.
void SendJob(GatewayContext& g) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  const Settings& cfg = gs.cfg;
  link.SmsAccepted = false;
  if (cfg.PDUText) {
    const bool ucs2 = gs.JobUCS2;
    link.GsmSmsBody = ucs2 ? Ucs2HexOfText(gs.JobWideText) : gs.JobText;
    link.GsmSendStr = cfg.AtSend + '"' + (ucs2 ? Ucs2HexOfNumber(gs.JobTelNo) : gs.JobTelNo) + '"';
  } else {
    SmsSubmitJob job;
    job.SmscNo = link.SmscNo;
    job.JobTelNo = gs.JobTelNo;
    job.JobText = gs.JobText;
    job.JobLoID = gs.JobLoID;
    job.JobLoHi = gs.JobLoHi;
    job.JobLoNo = gs.JobLoNo;
    job.statusReport = StatusReportWanted(cfg.ReportSw, cfg.ReportAll, gs.JobReport);
    link.GsmSmsBody = EncodeSmsSubmit(job);
    // The length the modem wants leaves out the service-centre part.
    bool badOctet = false;
    const int smscOctets = HexByte(QByteArrayView(link.GsmSmsBody).first(2), badOctet);
    const qsizetype tpduOctets = link.GsmSmsBody.size() / 2 - 1 - smscOctets;
    link.GsmSendStr = cfg.AtSend + QByteArray::number(tpduOctets);
  }
  gs.Lamps.linkStage = 5;
  link.WaitPrompt = true;
}

// A delete goes only to an index a header listed, and to each once: after its delete another
// SMS may be stored at the same index.
bool Deletable(const LinkState& link, std::int32_t pos) {
  const std::int32_t index = link.SmsRecvArr[pos].MemPos;
  if (index < 0) return false;
  return std::none_of(link.SmsRecvArr.begin(), link.SmsRecvArr.begin() + pos,
                      [index](const tSmsRec& r) { return r.MemPos == index; });
}

// The next entry to delete from DelPos on; DeleteDone when none is left.
AtState NextDeletable(LinkState& link) {
  while (link.DelPos >= 0 && link.DelPos < link.SmsRecvArr.size() &&
         !Deletable(link, link.DelPos)) {
    ++link.DelPos;
    ++link.DelCnt;
  }
  return link.DelPos >= link.SmsRecvArr.size() ? AtState::DeleteDone : AtState::Delete;
}

QByteArray DeleteCommand(GatewayContext& g) {
  LinkState& link = g.link();
  const bool valid = link.DelPos >= 0 && link.DelPos < link.SmsRecvArr.size();
  const std::int32_t p = valid ? link.SmsRecvArr[link.DelPos].MemPos : 200;
  if (!g.state().cfg.SMSDeleteOff) return kDelete + QByteArray::number(p);
  // The message stays in the device; the exchange keeps the delete phase moving.
  g.Log(true, QStringLiteral("SMSDeleteOff Pos:") + QString::number(p));
  link.DelStandIn = true;
  return kAt;
}

// Writes the command of state N; false when N is not a state that sends anything.
bool WriteCommand(GatewayContext& g, AtState N) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  const bool text = gs.cfg.PDUText;
  switch (N) {
    case AtState::Stop:
      DebugLog(g, QStringLiteral("GSM automat - can not continue..."));
      link.GsmSendStr.clear();
      return true;
    case AtState::Activity:
      link.GsmSendStr = kActivity;
      link.CpasValue = 255;
      return true;
    case AtState::Busy:  // the modem is busy; the watchdog ends the relation
    case AtState::Finished:
      link.GsmSendStr.clear();
      return true;
    case AtState::EchoOff:
      link.GsmSendStr = kEchoOff;
      return true;
    case AtState::NumericErrors:
      link.At.numericErrorsAsked = true;
      link.GsmSendStr = kNumericErrors;
      return true;
    case AtState::ServiceCentre:
      link.GsmSendStr = kServiceCentre;
      return true;
    case AtState::Format:
      link.GsmSendStr = text ? kFormatText : kFormatPdu;
      return true;
    case AtState::ShowTextParams:
      link.GsmSendStr = kShowTextParams;
      return true;
    case AtState::Signal:
      link.GsmSendStr = kSignal;
      return true;
    case AtState::Storage:
      link.GsmSendStr = link.MemIdx == 1 ? kStoragePhone : kStorageSim;
      return true;
    case AtState::List:
      // What is announced from now on may miss this listing.
      link.SmsAnnounced =
          gs.cfg.MemCheOn
              ? static_cast<std::uint8_t>(link.SmsAnnounced & ~AnnouncedBit(link.MemIdx))
              : 0;
      link.ListDoubtful = false;
      link.GsmSendStr = text ? kListText : kListPdu;
      link.ListBuf.clear();
      link.ListPrev.clear();
      gs.Lamps.linkStage = 3;
      link.ListTick = g.clock().tick() == 0 ? 1 : g.clock().tick();
      link.SmsAccepted = false;
      return true;
    case AtState::ListDone:
      link.ListDone = true;
      return true;
    case AtState::Delete:
      link.GsmSendStr = DeleteCommand(g);
      return true;
    case AtState::DeleteDone:  // the main cycle sees DelPos past the end
      return true;
    case AtState::Charset:
      gs.LastCharset = gs.JobUCS2 ? 1 : 0;
      link.GsmSendStr = gs.JobUCS2 ? kCharsetUcs2 : kCharsetGsm;
      return true;
    case AtState::Params:
      link.GsmSendStr = gs.JobUCS2 ? kParamsUcs2 : kParamsGsm;
      return true;
    case AtState::SendJob:
      SendJob(g);
      return true;
    default:
      return WriteSimCommand(g, N);
  }
}

// The state a command's answer is read in: the parameters of either character set are one
// optional command.
AtState AnsweringState(AtState N) {
  return N == AtState::Params ? AtState::ParamsGsm : N;
}

bool Writes(AtState N) {
  return N != AtState::Stop && N != AtState::Busy && N != AtState::ListDone &&
         N != AtState::DeleteDone && N != AtState::Finished;
}

}  // namespace

void CommandStep(GatewayContext& g, AtState N) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  NewCommand(link);
  link.DelStandIn = false;
  if (N == AtState::Delete) N = NextDeletable(link);
  // Closing: the SMS already stored still leave the device (list end, deletes); nothing new
  // starts, and the answered command was the last.
  if (gs.CloseWanted && N != AtState::ListDone && N != AtState::Delete &&
      N != AtState::DeleteDone) {
    link.GsmSendStr.clear();
    link.GsmSendOn = false;
    link.NoAnswerCnt = 0;
    return;
  }
  if (!WriteCommand(g, N)) {
    DebugLog(g, QStringLiteral("GSM automat - unexpected state \"OutComSendNo\" : ") +
                    QString::number(number(N)));
    N = AtState::Stop;
    link.GsmSendStr.clear();
  }
  // A command this modem said it does not support is not asked again on this connection.
  if (Optional(AnsweringState(N)) && LeftOut(link, link.GsmSendStr)) {
    link.GsmSendStr.clear();
    return CommandStep(g, LeftOutTransition(g, AnsweringState(N)));
  }
  if (Writes(N)) link.GsmSendOn = true;
  link.NoAnswerCnt = N == AtState::Busy ? 100 : 0;
  // A storage switch or a signal query takes a real modem seconds now and then, a SIM its PIN.
  const bool slow = N == AtState::Signal || N == AtState::Storage || N == AtState::List ||
                    N == AtState::Delete || N == AtState::SendJob || N == AtState::PinEntry;
  link.GsmTimeout = slow ? kLongTimeout : kCommandTimeout;
  if (gs.cfg.RecoveryStartIncMin != 0)
    gs.RecoveryAt = g.clock().now() + gs.cfg.RecoveryStartIncMin / (24.0 * 60.0);
}

}  // namespace kolvane::at
