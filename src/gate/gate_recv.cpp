#include <QStringList>

#include "context/gateway_context.h"
#include "gate/gate_protocol.h"
#include "gsm/gate_frame.h"
#include "gsm/link_state.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

QString recvErr(const QString& reason) {
  return QStringLiteral("!!! ISDN Gate Recv Err - ") + reason + QStringLiteral(" !!!");
}

QString counterLine(const GateIEs& ies) {
  return ies.hasCounter ? QStringLiteral(">>> COUNTER_SMS = %1 <<<").arg(ies.counter)
                        : QStringLiteral(">>> !!! chybí COUNTER_SMS !!! <<<");
}

void acknowledge(GatewayContext& g) {
  GateProtocolState& gp = g.link().Gate;
  g.Log(
      g.state().cfg.Debug,
      QStringLiteral("<<< 5.Príjem SMS (PRIMA_Gate do PC_LAN) counter=%1 >>>").arg(gp.ReadSMSCnt));
  GateSend(g, GateIE(gate::kReadAck) + GateIE16(gate::kCounter, gp.ReadSMSCnt & 0xFFFF));
  g.state().Lamps.linkStage = 4;
}

void traceReceived(GatewayContext& g, const GateIEs& ies) {
  const bool debug = g.state().cfg.Debug;
  const auto value = [](bool has, const char* name, const QString& shown) {
    return has ? QStringLiteral(">>> %1 = %2 <<<").arg(QLatin1String(name), shown)
               : QStringLiteral(">>> !!! chybí %1 !!! <<<").arg(QLatin1String(name));
  };
  g.Log(debug, QStringLiteral(">>> 5.Príjem SMS (PRIMA_Gate do PC_LAN)<<<"));
  g.Log(debug, QStringLiteral(">>> Data_1=|") + QString::fromLatin1(ies.data1) +
                   QStringLiteral("| Data_2=|") + QString::fromLatin1(ies.data2) +
                   QStringLiteral("| <<<"));
  g.Log(debug, value(ies.hasTypeSms, "IE_TYPE_SMS",
                     QLatin1Char('|') + GateHexBytes(ies.typeSms) + QLatin1Char('|')));
  g.Log(debug, value(ies.hasSctp, "SCTP_SMS",
                     QLatin1Char('|') + QString::fromLatin1(ies.sctp) + QLatin1Char('|')));
  g.Log(debug, value(ies.hasModule, "GSM_MODUL", QString::number(ies.module)));
  g.Log(debug, counterLine(ies));
  g.Log(debug, QStringLiteral(">>> ReadSMSCnt = %1 <<<").arg(g.link().Gate.ReadSMSCnt));
}

void confirmation(GatewayContext& g, const GateIEs& ies) {
  GateProtocolState& gp = g.link().Gate;
  const bool debug = g.state().cfg.Debug;
  if (gp.GateRecvCnt > 0) {
    g.Log(true, fillPlaceholders(g.Text(35), {QString::number(gp.GateRecvCnt)}));
  }
  gp.GateRecvCnt = 0;
  g.Log(debug, QStringLiteral(">>> 4. Vysielanie SMS (PC_LAN do PRIMA_Gate) <<<"));
  g.Log(debug, counterLine(ies));
  g.Log(debug, QStringLiteral(">>> WriteSMSCnt = %1 <<<").arg(gp.WriteSMSCnt));
  bool confirmed = false;
  for (tSmtpRunNdx& sent : gp.SentArr) {
    if (sent._WriteSMSCnt != ies.counter || sent._Confirm) continue;
    sent._Confirm = true;
    confirmed = true;
  }
  if (confirmed) GateSaveUnconfirmed(g);
  g.state().Lamps.linkStage = 2;
  GateSendNext(g);
}

void act(GatewayContext& g, const GateIEs& ies) {
  GatewayState& gs = g.state();
  GateProtocolState& gp = g.link().Gate;
  const bool debug = gs.cfg.Debug;
  if (ies.hasCause) {
    g.Log(true, QStringLiteral("!!! PRImaGate error message IE_CAUSE = \"") +
                    GateHexBytes(ies.cause).trimmed() + QStringLiteral("\" !!!"));
    gs.Lamps.linkStage = 6;
    if (ies.cause.size() < 5) return;
    const auto c = static_cast<std::uint8_t>(ies.cause[4]);
    if (c == gate::kCauseInactiveModule || c >= gate::kCauseBufferFullFrom) {
      GateCauseReaction(g, c);
    }
  } else if (ies.hasIdent) {
    g.Log(debug, QStringLiteral(">>> 3.Identifikácia PC_LAN z PRIMA Gate <<<"));
    gp.ReadSMSCnt = 0;
    gp.GateIdentified = true;
    gs.Lamps.linkStage = 2;
    acknowledge(g);
  } else if (ies.hasData1 && ies.hasCounter && !ies.hasData2) {
    confirmation(g, ies);
  } else if (ies.hasData1 && ies.hasData2 && ies.hasCounter) {
    traceReceived(g, ies);
    // Unacknowledged, the device keeps the SMS and hands it over again in a later relation.
    if (!GateStoreSms(g, ies)) return;
    gp.ReadSMSCnt += 1;
    gs.Lamps.linkStage = 2;
    acknowledge(g);
  } else if (ies.hasReadAck && ies.hasCounter) {
    g.Log(debug, QStringLiteral(">>> 5.Príjem SMS (PRIMA_Gate do PC_LAN) <<<"));
    g.Log(debug, counterLine(ies));
    gs.Lamps.linkStage = 2;
    GateSendNext(g);
  }
}

}  // namespace

void GateSend(GatewayContext& g, const QByteArray& ieList) {
  LinkState& link = g.link();
  // A frame not yet taken by the send pass goes out first; overwriting it would leave the
  // device waiting for an answer that never comes.
  if (!link.GateSendOn) link.GateSendStr.clear();
  link.GateSendStr += GateFrame(ieList);
  link.GateSendOn = true;
  link.Gate.AnswerAwaited = true;
}

void GateStart(GatewayContext& g) {
  LinkState& link = g.link();
  g.Log(g.state().cfg.Debug, QStringLiteral("<<< 3.Identifikácia PC_LAN z PRIMA Gate >>>"));
  link.GsmTimeout = 8000;
  // Nothing of an earlier relation is answered in this one.
  link.GsmRecvStr.clear();
  link.GateSendOn = false;
  GateSend(g, GateIE(gate::kIdent));
}

void GateRecv(GatewayContext& g) {
  LinkState& link = g.link();
  const GateTake take = TakeGateFrame(link.GsmRecvStr);
  if (take.cut) g.Log(true, recvErr(QStringLiteral("cut")));
  if (take.frame.isEmpty()) return;
  const bool debug = g.state().cfg.Debug;
  g.Log(debug, QStringLiteral("->|") + QString::fromLatin1(take.frame) + QLatin1Char('|'));
  g.Log(debug, QStringLiteral("->|") + GateHexBytes(take.frame) + QLatin1Char('|'));
  const GateParsed parsed = ParseGateFrame(take.frame);
  if (!parsed.reason.isEmpty()) g.Log(true, recvErr(parsed.reason));
  if (parsed.dropped) return;
  link.Gate.AnswerAwaited = false;
  act(g, parsed.ies);
}

void installGateHooks(GatewayContext& g) {
  g.hooks().startGateProtocol = [&g] { GateStart(g); };
  g.hooks().gateReceiver = [&g] { GateRecv(g); };
}

}  // namespace kolvane
