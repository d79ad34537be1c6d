#include "gsm/link_passes.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "core/gateway.h"
#include "core/main_cycle.h"
#include "gsm/at_automaton.h"
#include "gsm/at_steps.h"
#include "gsm/gt_net_client.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

QString hexBytes(const QByteArray& frame) {
  QString out;
  out.reserve(frame.size() * 3);
  for (const char c : frame) {
    out +=
        QStringLiteral("%1 ").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0')).toUpper();
  }
  return out;
}

bool linkUsable(const LinkState& link) {
  return link.comHandleValid() || link.GtNetConnected;
}

}  // namespace

bool usesGatewayProtocol(const QString& gsmDevice) {
  return gsmDevice == QLatin1String("PRImaGate") || gsmDevice == QLatin1String("BlueGateISDNBrave");
}

LinkPasses::LinkPasses(Gateway& gateway, QObject* parent) : QObject(parent), gateway_(gateway) {
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

// ---- reacting at once ----

void LinkPasses::bytesArrived() {
  if (!gateway_.state().RelationOn) return;
  // Read on the loop's next turn: a device found gone there may be closed safely, which it
  // may not be inside its own signal.
  readWanted_ = true;
  scheduleFollowUp(0);
}

void LinkPasses::wake() {
  resumeFallback();
  if (gateway_.state().RelationOn) scheduleFollowUp(0);
}

void LinkPasses::resumeFallback() {
  if (running_ && relationActive() && !recvPassTimer_.isActive()) recvPassTimer_.start();
}

bool LinkPasses::relationActive() const {
  const GatewayState& gs = gateway_.state();
  return gs.RelationOn || !gs.RelationIdle;
}

void LinkPasses::afterCycle() {
  resumeFallback();
  if ((gateway_.state().RelationOn && commandPending()) || relationEnding()) scheduleFollowUp(0);
  scheduleIdleEnd();
}

void LinkPasses::linkDropped() {
  if (relationEnding()) scheduleFollowUp(0);
}

bool LinkPasses::relationEnding() const {
  const GatewayState& gs = gateway_.state();
  return gs.RelationClosing && !gs.RelationIdle;
}

void LinkPasses::scheduleIdleEnd() {
  const GatewayState& gs = gateway_.state();
  const LinkState& link = gateway_.link();
  if (!gs.RelationOn || gs.RelationClosing || gs.SendPhaseAt != kNoTick) return;
  const Tick due = link.LastActTick + link.GsmTimeout + 1000;
  // One that is due already but did not end the relation is left to the main cycle.
  const auto wait = static_cast<std::int32_t>(due - gateway_.clock().tick());
  if (wait >= 0) scheduleFollowUp(wait + 1);
}

void LinkPasses::fallbackPass() {
  RecvPass();
  // Writes what the watchdog set, and notes the end of the relation for the send side.
  SendPass();
  // Between relations there is nothing to pass; the cycle wakes the timer for the next one.
  if (!relationActive()) recvPassTimer_.stop();
}

void LinkPasses::scheduleFollowUp(int ms) {
  if (followUpTimer_.isActive() && followUpTimer_.remainingTime() <= ms) return;
  followUpTimer_.start(ms);
}

void LinkPasses::followUp() {
  if (std::exchange(readWanted_, false)) RecvPass();
  const GatewayState& gs = gateway_.state();
  // A job done makes the next one due within the same round when SendSMSDelay is 0.
  for (int round = 0; round < 2 && gs.RelationOn; ++round) {
    if (commandPending()) SendPass();
    runRelationStages(gateway_);
    if (commandPending()) SendPass();
    if (!gs.SendPhaseDue || !tickDue(gs.SendPhaseAt, gateway_.clock().tick())) break;
  }
  if (relationEnding()) {
    // The passes note the end at once rather than at the fallback's next turn, so the link
    // closes and the next relation may begin.
    RecvPass();
    SendPass();
    runRelationStages(gateway_);
  }
  scheduleIdleEnd();
  if (!gs.RelationOn || !gs.SendPhaseDue || gs.SendPhaseAt == kNoTick) return;
  // A phase falls due once its tick has passed. One that is due already but could not run
  // now is left to the main cycle.
  const auto wait = static_cast<std::int32_t>(gs.SendPhaseAt - gateway_.clock().tick());
  if (wait >= 0) scheduleFollowUp(wait + 1);
}

// ---- receive pass ----

namespace {

// The block held nothing but line ends and whole unsolicited lines.
bool onlySetAside(const QByteArray& block, const LinkState& link) {
  const auto lineEnds =
      std::count_if(block.begin(), block.end(), [](char c) { return c == '\r' || c == '\n'; });
  return link.GsmRecvStr.isEmpty() && link.SetAsideBytes == block.size() - lineEnds;
}

}  // namespace

void LinkPasses::RecvPass() {
  LinkState& link = gateway_.link();
  if (link.SendBusy) return;
  link.RecvBusy = true;
  const Tick passTick = gateway_.clock().tick();
  try {
    if (gateway_.state().RelationOn && !linkUsable(link)) {
      // The connection dropped or the device closed: nothing can answer any more.
      endRelationNow();
    } else if (gateway_.state().RelationOn) {
      const QByteArray block = takeReceivedBlock();
      if (link.KickOffDiscard || !gateway_.state().RelationOn) {
        // Left over from before the relation's first command, or the device is gone.
      } else if (!block.isEmpty()) {
        const Tick lastAct = link.LastActTick;
        const Tick answerAct = link.AnswerActTick;
        link.LastActTick = gateway_.clock().tick();
        link.AnswerActTick = link.LastActTick;
        link.SetAsideBytes = 0;
        handOver(block);
        if (onlySetAside(block, link)) {
          link.LastActTick = lastAct;
          link.AnswerActTick = answerAct;
        }
        scheduleFollowUp(0);
      } else {
        AnswerWatch(gateway_, passTick);
      }
    }
  } catch (const std::exception&) {
    // The assemblers report their own faults; nothing of this pass is worth keeping.
  }
  link.RecvBusy = false;
  if (!gateway_.state().RelationOn) link.RecvStopOK = true;
}

void LinkPasses::logFault(const QString& text) {
  if (gateway_.link().Faults.first(text)) gateway_.Log(true, text);
}

QByteArray LinkPasses::takeReceivedBlock() {
  LinkState& link = gateway_.link();
  if (link.comHandleValid()) {
    bool error = false;
    QByteArray block;
    try {
      block = link.ComHandle->readAvailable(&error);
    } catch (const std::exception&) {
      logFault(QStringLiteral("Error while reading the received data"));
      error = true;
    }
    if (!error) {
      readErrorPasses_ = 0;
      return block;
    }
    // Once per relation: a device in trouble would say so on every pass.
    logFault(QStringLiteral("Error reading the state of communication"));
    if (link.ComHandle->gone() || ++readErrorPasses_ >= kLostAfterErrorPasses) serialLinkLost();
    return {};
  }
  return std::exchange(link.GtNetRecvBuf, QByteArray());
}

void LinkPasses::serialLinkLost() {
  LinkState& link = gateway_.link();
  GatewayState& gs = gateway_.state();
  readErrorPasses_ = 0;
  if (link.ComHandle) link.ComHandle->close();
  link.ComHandle.reset();
  gateway_.Log(true,
               QStringLiteral("COM") + gs.ComNoText + QStringLiteral(" prematurely disconnected"));
  link.LinkFailed = true;
  gs.Lamps.linkStage = 6;
  endRelationNow();
}

void LinkPasses::endRelationNow() {
  GatewayState& gs = gateway_.state();
  // Whatever the relation was waiting for; the next start opens the link anew.
  gs.SendPhaseDue = false;
  gs.SendPhaseAt = kNoTick;
  gs.RelationClosing = true;
  gs.RelationOn = false;
}

void LinkPasses::handOver(const QByteArray& block) {
  LinkState& link = gateway_.link();
  const bool gatewayDevice = usesGatewayProtocol(gateway_.state().cfg.GsmDevice);
  // One byte at a time: the assembler sees each byte appended before it runs.
  for (const char byte : block) {
    link.GsmRecvStr.append(byte);
    ++link.RecvByteCnt;
    if (gatewayDevice) {
      if (gateway_.hooks().gateReceiver) gateway_.hooks().gateReceiver();
    } else {
      RecvATcmd(gateway_);
    }
  }
}

// ---- send pass ----

void LinkPasses::SendPass() {
  LinkState& link = gateway_.link();
  if (link.RecvBusy) return;
  if (write_) {
    // The write in progress goes on once its pause is over; nothing new starts before.
    if (static_cast<std::int32_t>(gateway_.clock().tick() - write_->dueAt) >= 0) writeAttempt();
    return;
  }
  link.SendBusy = true;
  QByteArray data;
  if (gateway_.state().RelationOn && linkUsable(link) && takeSendRequest(&data)) {
    write_ = PendingWrite{data, 0, 0, link.comHandleValid(),
                          !usesGatewayProtocol(gateway_.state().cfg.GsmDevice)};
    writeAttempt();
    return;
  }
  endSendPass();
}

bool LinkPasses::kickOffClears() {
  LinkState& link = gateway_.link();
  if (!link.KickOffDiscard) return true;
  // What is waiting now came before the first command, even if no pass has read it yet or
  // the system still holds it.
  takeReceivedBlock();
  if (link.comHandleValid())
    link.ComHandle->purge();
  else
    gateway_.gtNet().discardReceived();
  link.KickOffDiscard = false;
  link.GsmRecvStr.clear();
  return gateway_.state().RelationOn;
}

bool LinkPasses::takeSendRequest(QByteArray* data) {
  LinkState& link = gateway_.link();
  const bool debug = gateway_.state().cfg.Debug;
  if (usesGatewayProtocol(gateway_.state().cfg.GsmDevice)) {
    if (!link.GateSendOn || !kickOffClears()) return false;
    link.GateSendOn = false;
    const QByteArray frame = link.GateSendStr;
    gateway_.Log(debug, QStringLiteral("<-|") + QString::fromUtf8(frame) + QLatin1Char('|'));
    gateway_.Log(debug, QStringLiteral("<-|") + hexBytes(frame) + QLatin1Char('|'));
    link.GateSendTime = gateway_.clock().now();
    link.GateSendStr.clear();
    *data = frame;
    return true;
  }
  if (!link.GsmSendOn || !kickOffClears()) return false;
  link.GsmSendOn = false;
  gateway_.Log(debug, QStringLiteral("<-|") + QString::fromUtf8(at::Traced(link.GsmSendStr)) +
                          QLatin1Char('|'));
  *data = link.GsmSendStr + '\r';
  return true;
}

qint64 LinkPasses::writeToLink(const QByteArray& data, bool serial) {
  LinkState& link = gateway_.link();
  qint64 n = -1;
  try {
    if (serial) {
      if (link.ComHandle) n = link.ComHandle->write(data);
    } else {
      n = gateway_.gtNet().write(data);
    }
  } catch (const std::exception&) {
    n = -1;
  }
  if (n < 0) {
    logFault(serial ? QStringLiteral("Error sending via COM port")
                    : QStringLiteral("Error sending via socket"));
    return 0;
  }
  return n;
}

void LinkPasses::writeAttempt() {
  PendingWrite& w = *write_;
  const qint64 n = writeToLink(w.rest, w.serial);
  ++w.attempts;
  if (n >= w.rest.size()) {
    writeEnded(true);
    return;
  }
  const LinkState& link = gateway_.link();
  if (w.serial && (!link.ComHandle || link.ComHandle->gone())) {
    // No retry can reach a device that has gone away.
    writeEnded(false);
    return;
  }
  // Only the rest goes out next time; the command is never repeated from its start.
  w.rest.remove(0, n);
  if (w.attempts >= kWriteAttempts) {
    gateway_.Log(true, QStringLiteral("Error at sending from GSM \"SendBuf\""));
    writeEnded(false);
    return;
  }
  w.dueAt = gateway_.clock().tick() + kWriteRetryMs;
  sendPassTimer_.start();
}

void LinkPasses::writeEnded(bool complete) {
  const PendingWrite w = *std::exchange(write_, std::nullopt);
  sendPassTimer_.stop();
  LinkState& link = gateway_.link();
  if (!complete) {
    gateway_.Log(true, fillPlaceholders(gateway_.Text(48),
                                        {QString::fromUtf8(at::Traced(link.GsmSendStr))}));
    if (w.serial && link.ComHandle) serialLinkLost();
  } else if (w.atDevice) {
    CommandWritten(gateway_);
  }
  endSendPass();
}

void LinkPasses::endSendPass() {
  LinkState& link = gateway_.link();
  link.SendBusy = false;
  if (!gateway_.state().RelationOn) link.SendStopOK = true;
}

}  // namespace kolvane
