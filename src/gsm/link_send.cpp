#include "gsm/link_passes.h"

#include <exception>
#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_automaton.h"
#include "gsm/at_engine.h"
#include "gsm/at_steps.h"
#include "gsm/gt_net_client.h"
#include "gsm/link_state.h"
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

}  // namespace

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
  bool escape = false;
  if (gateway_.state().RelationOn && linkUsable() && takeSendRequest(&data, &escape)) {
    const bool atDevice = !usesGatewayProtocol(gateway_.state().cfg.GsmDevice);
    write_ = PendingWrite{data, 0, 0, link.comHandleValid(), atDevice, escape};
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

bool LinkPasses::takeSendRequest(QByteArray* data, bool* escape) {
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
  if (!link.GsmSendOn) return false;
  const Tick now = gateway_.clock().tick();
  Tick due = now;
  switch (at::NextWrite(link, now, &due)) {
    case at::WriteStep::Escape:
      // The command waits; ESC goes out alone.
      gateway_.Log(debug, QStringLiteral("<-|<ESC>|"));
      *escape = true;
      *data = QByteArray(1, at::kEscape);
      return true;
    case at::WriteStep::Hold:
      scheduleFollowUp(static_cast<int>(due - now) + 1);
      return false;
    case at::WriteStep::Command:
      break;
  }
  if (!kickOffClears()) return false;
  link.GsmSendOn = false;
  gateway_.Log(debug, QStringLiteral("<-|") + QString::fromUtf8(at::Traced(link.GsmSendStr)) +
                          QLatin1Char('|'));
  *data = link.GsmSendStr + '\r';
  return true;
}

void LinkPasses::closePrompt() {
  LinkState& link = gateway_.link();
  if (!link.At.promptMayBeOpen || write_ || !linkUsable()) return;
  gateway_.Log(gateway_.state().cfg.Debug, QStringLiteral("<-|<ESC>|"));
  if (writeToLink(QByteArray(1, at::kEscape), link.comHandleValid()) == 1)
    link.At.promptMayBeOpen = false;
}

void LinkPasses::endSendPass() {
  LinkState& link = gateway_.link();
  link.SendBusy = false;
  if (!gateway_.state().RelationOn) link.SendStopOK = true;
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
  } else if (w.escape) {
    at::EscapeWritten(link, gateway_.clock().tick());
  } else if (w.atDevice) {
    at::CommandWritten(gateway_);
  }
  endSendPass();
}

}  // namespace kolvane
