#include "gsm/link_passes.h"

#include "context/gateway_context.h"
#include "gsm/link_state.h"

namespace kolvane {

bool usesGatewayProtocol(const QString& gsmDevice) {
  return gsmDevice == QLatin1String("PRImaGate") || gsmDevice == QLatin1String("BlueGateISDNBrave");
}

LinkPasses::LinkPasses(GatewayContext& gateway, QObject* parent)
    : QObject(parent), gateway_(gateway) {
  recvPassTimer_.setInterval(kRecvPassMs);
  sendPassTimer_.setInterval(kSendPassMs);
  followUpTimer_.setSingleShot(true);
  // A follow-up is due at a time the stages compute to the millisecond.
  followUpTimer_.setTimerType(Qt::PreciseTimer);
  connect(&recvPassTimer_, &QTimer::timeout, this, &LinkPasses::fallbackPass);
  connect(&sendPassTimer_, &QTimer::timeout, this, &LinkPasses::SendPass);
  connect(&followUpTimer_, &QTimer::timeout, this, &LinkPasses::followUp);
}

void LinkPasses::start() {
  gateway_.link().RecvStopOK = false;
  gateway_.link().SendStopOK = false;
  running_ = true;
  recvPassTimer_.start();
  // The send pass runs on its own only while a write waits to go on.
  if (write_) sendPassTimer_.start();
}

void LinkPasses::stop() {
  running_ = false;
  recvPassTimer_.stop();
  sendPassTimer_.stop();
  followUpTimer_.stop();
  readWanted_ = false;
}

bool LinkPasses::commandPending() const {
  const LinkState& link = gateway_.link();
  return link.GsmSendOn || link.GateSendOn;
}

bool LinkPasses::linkUsable() const {
  const LinkState& link = gateway_.link();
  return link.comHandleValid() || link.GtNetConnected;
}

bool LinkPasses::relationActive() const {
  const GatewayState& gs = gateway_.state();
  return gs.RelationOn || !gs.RelationIdle;
}

bool LinkPasses::relationEnding() const {
  const GatewayState& gs = gateway_.state();
  return gs.RelationClosing && !gs.RelationIdle;
}

void LinkPasses::fallbackPass() {
  RecvPass();
  // Writes what the watchdog set, and notes the end of the relation for the send side.
  SendPass();
  // Between relations there is nothing to pass; the cycle wakes the timer for the next one.
  if (!relationActive()) recvPassTimer_.stop();
}

}  // namespace kolvane
