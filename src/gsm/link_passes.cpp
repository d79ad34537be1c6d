#include "gsm/link_passes.h"

#include <exception>
#include <utility>

#include "core/gateway.h"
#include "gsm/at_automaton.h"
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
  connect(&recvPassTimer_, &QTimer::timeout, this, &LinkPasses::RecvPass);
  connect(&sendPassTimer_, &QTimer::timeout, this, &LinkPasses::SendPass);
}

void LinkPasses::start() {
  gateway_.link().RecvStopOK = false;
  gateway_.link().SendStopOK = false;
  recvPassTimer_.start();
  sendPassTimer_.start();
}

void LinkPasses::stop() {
  recvPassTimer_.stop();
  sendPassTimer_.stop();
}

// ---- receive pass ----

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
        link.LastActTick = gateway_.clock().tick();
        link.AnswerActTick = link.LastActTick;
        handOver(block);
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
  // What is waiting now came before the first command, even if no pass has read it yet.
  takeReceivedBlock();
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
  gateway_.Log(debug,
               QStringLiteral("<-|") + QString::fromUtf8(link.GsmSendStr) + QLatin1Char('|'));
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
}

void LinkPasses::writeEnded(bool complete) {
  const PendingWrite w = *std::exchange(write_, std::nullopt);
  LinkState& link = gateway_.link();
  if (!complete) {
    gateway_.Log(true, fillPlaceholders(gateway_.Text(48), {QString::fromUtf8(link.GsmSendStr)}));
    if (w.serial && link.ComHandle) serialLinkLost();
  } else if (w.atDevice) {
    const Tick now = gateway_.clock().tick();
    link.NoAnswerCnt += 1;
    link.LastSendTick = now;
    link.LastActTick = now;
    link.AnswerActTick = now;
  }
  endSendPass();
}

void LinkPasses::endSendPass() {
  LinkState& link = gateway_.link();
  link.SendBusy = false;
  if (!gateway_.state().RelationOn) link.SendStopOK = true;
}

}  // namespace kolvane
