#include "gsm/link_passes.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_automaton.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"

namespace kolvane {

namespace {

// The block held nothing but line ends and whole unsolicited lines.
bool onlySetAside(const QByteArray& block, const LinkState& link) {
  const auto lineEnds =
      std::count_if(block.begin(), block.end(), [](char c) { return c == '\r' || c == '\n'; });
  return link.GsmRecvStr.isEmpty() && link.At.setAsideBytes == block.size() - lineEnds;
}

}  // namespace

void LinkPasses::RecvPass() {
  LinkState& link = gateway_.link();
  if (link.SendBusy) return;
  link.RecvBusy = true;
  const Tick passTick = gateway_.clock().tick();
  try {
    if (gateway_.state().RelationOn && !linkUsable()) {
      // The connection dropped or the device closed: nothing can answer any more. What the
      // gateway sent before it went (the "+CMGS:" of a job it took) is still its answer.
      const QByteArray block = std::exchange(link.GtNetRecvBuf, QByteArray());
      if (!block.isEmpty() && !link.KickOffDiscard) handOver(block);
      endRelationNow();
    } else if (gateway_.state().RelationOn) {
      const QByteArray block = takeReceivedBlock();
      if (link.KickOffDiscard || !gateway_.state().RelationOn) {
        // Left over from before the next command, or the device is gone. While the line
        // settles after ESC, bytes put the next command off.
        // A late "+CMGS" is still the answer of the send given up on.
        if (!block.isEmpty()) at::LateSendResult(gateway_, block);
        if (!block.isEmpty() && at::Settling(link)) {
          at::BytesDiscarded(link, passTick);
          scheduleFollowUp(static_cast<int>(at::SettleDue(link) - passTick) + 1);
        }
      } else if (!block.isEmpty()) {
        const Tick lastAct = link.LastActTick;
        const Tick answerAct = link.AnswerActTick;
        link.LastActTick = gateway_.clock().tick();
        link.AnswerActTick = link.LastActTick;
        link.At.setAsideBytes = 0;
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

}  // namespace kolvane
