#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/pdu_codec.h"
#include "gsm/ucs2.h"

namespace kolvane::at {

namespace {

// State 56: the send command now, the body after the prompt.
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
bool WriteCommand(GatewayContext& g, int N) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  const bool text = gs.cfg.PDUText;
  switch (N) {
    case 0:
      DebugLog(g, QStringLiteral("GSM automat - can not continue..."));
      link.GsmSendStr.clear();
      return true;
    case 2:
      link.GsmSendStr = kActivity;
      link.CpasValue = 255;
      return true;
    case 3:  // the modem is busy; the watchdog ends the relation
    case 255:
      link.GsmSendStr.clear();
      return true;
    case 4:
      link.GsmSendStr = kEchoOff;
      return true;
    case 5:
      link.GsmSendStr = kServiceCentre;
      return true;
    case 7:
      link.GsmSendStr = text ? kFormatText : kFormatPdu;
      return true;
    case 10:
      link.GsmSendStr = kShowTextParams;
      return true;
    case 11:
      link.GsmSendStr = kSignal;
      return true;
    case 12:
      link.GsmSendStr = link.MemIdx == 1 ? kStoragePhone : kStorageSim;
      return true;
    case 15:
      link.SmsAnnounced = false;  // what is announced from now on may miss this listing
      link.GsmSendStr = text ? kListText : kListPdu;
      link.ListBuf.clear();
      link.ListPrev.clear();
      gs.Lamps.linkStage = 3;
      link.ListTick = g.clock().tick() == 0 ? 1 : g.clock().tick();
      link.SmsAccepted = false;
      return true;
    case 18:
      link.ListDone = true;
      return true;
    case 19:
      link.GsmSendStr = DeleteCommand(g);
      return true;
    case 20:  // delete phase finished; the main cycle sees DelPos past the end
      return true;
    case 50:
      gs.LastCharset = gs.JobUCS2 ? 1 : 0;
      link.GsmSendStr = gs.JobUCS2 ? kCharsetUcs2 : kCharsetGsm;
      return true;
    case 53:
      link.GsmSendStr = gs.JobUCS2 ? kParamsUcs2 : kParamsGsm;
      return true;
    case 56:
      SendJob(g);
      return true;
    default:
      return WriteSimCommand(g, N);
  }
}

}  // namespace

void NewCommand(LinkState& link) {
  link.LateAnswersOwed += link.WritesUnanswered;
  link.WritesUnanswered = 0;
}

void CommandStep(GatewayContext& g, int N) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  NewCommand(link);
  link.DelStandIn = false;
  // Closing: the SMS already stored still leave the device (list end, deletes); nothing new
  // starts, and the answered command was the last.
  if (gs.CloseWanted && N != 18 && N != 19 && N != 20) {
    link.GsmSendStr.clear();
    link.GsmSendOn = false;
    link.NoAnswerCnt = 0;
    return;
  }
  if (!WriteCommand(g, N)) {
    DebugLog(g, QStringLiteral("GSM automat - unexpected state \"OutComSendNo\" : ") +
                    QString::number(N));
    N = 0;
    link.GsmSendStr.clear();
  }
  if (N != 0 && N != 3 && N != 18 && N != 20 && N != 255) link.GsmSendOn = true;
  link.NoAnswerCnt = N == 3 ? 100 : 0;
  // A storage switch or a signal query takes a real modem seconds now and then, a SIM its PIN.
  const bool slow = N == 11 || N == 12 || N == 15 || N == 19 || N == 56 || N == 61;
  link.GsmTimeout = slow ? kLongTimeout : kCommandTimeout;
  if (gs.cfg.RecoveryStartIncMin != 0)
    gs.RecoveryAt = g.clock().now() + gs.cfg.RecoveryStartIncMin / (24.0 * 60.0);
}

}  // namespace kolvane::at
