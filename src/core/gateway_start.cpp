#include "core/gateway_start.h"

#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "core/mail_ports.h"
#include "gsm/at_automaton.h"
#include "gsm/gt_net_client.h"
#include "gsm/link_passes.h"
#include "gsm/serial_device_link.h"
#include "gsm/sms_list_reader.h"
#include "mail/mail_listeners.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

const QString kStart = QStringLiteral("Start");
const QString kStop = QStringLiteral("Stop");

// RelationBase becomes the last point of its grid not after now; a refresh offset the last
// refresh point not after now. Counted rather than looped, and ordered wrap-safe.
void alignSchedule(GatewayState& gs, Tick now) {
  if (gs.IntervalMs > 0 && gs.RelationBase != 0) {
    if (!tickBefore(now, gs.RelationBase)) {
      const std::uint64_t steps = (now - gs.RelationBase) / gs.IntervalMs + 1;
      gs.RelationBase += static_cast<Tick>(steps * gs.IntervalMs);
    }
    gs.RelationBase -= gs.IntervalMs;
  } else {
    gs.RelationBase = now;
  }
  if (gs.RefreshMode) {
    gs.RefreshOffset = 0;
    // A refresh period of 0 would never leave the loop.
    if (gs.RefrPer > 0 && !tickBefore(now, gs.RelationBase)) {
      const std::uint64_t steps = (now - gs.RelationBase) / gs.RefrPer + 1;
      gs.RefreshOffset = static_cast<std::uint32_t>(steps * gs.RefrPer);
      if (gs.RefreshOffset > 0) gs.RefreshOffset -= gs.RefrPer;
    }
  }
  // 0 means "no schedule": a grid point that falls on it after the wrap moves 1 ms earlier.
  if (gs.RelationBase == 0) gs.RelationBase = kNoTick;
  gs.NextSecondTick = now;
}

void linkOpened(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  // The last relation failed: what this one finds is news again.
  if (link.LinkFailed || link.Outage.failures > 0 || !link.GsmConnected)
    g.LogStatusEnded(kLinkStatus);
  link.LinkFailed = false;
  // The device is back after an outage (a re-plug): a module that refused its new-message
  // indications while it booted is asked again.
  if (link.Outage.failures > 0) link.IndicationRefusals = 0;
  link.Outage = {};
  gs.RelationOn = true;
  // A relation ended while the link was being opened (a pass saw no relation) is not this one.
  gs.RelationClosing = false;
  link.RecvStopOK = false;
  link.SendStopOK = false;
  // Nothing of an earlier relation is in flight: the kick-off is the first command.
  ClearCommandInFlight(link);
  at::ConnectionOpened(link);
  if (link.LinkKind == 1)
    g.LogStatus(kLinkStatus + QStringLiteral("opened"), serialDeviceOf(gs) + ' ' + g.Text(87));
  gs.KickOffPending = true;
  link.KickOffDiscard = true;
  gs.Lamps.linkStage = 1;
  gs.LinkControlsEnabled = false;
  link.GsmConnected = false;
  link.FirstOkPending = true;
  gs.StoreMovePending = true;
  g.passes().wake();
}

// A device that stays gone would be reported at every start: the failure is logged when the
// outage begins, then once an hour with the count, and its command runs once per outage.
void outageReported(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  const Tick now = g.clock().tick();
  // A serial device is named by its path, with the reason it did not open.
  const QString text =
      link.LinkKind == 1 ? fillPlaceholders(g.Text(406), {serialDeviceOf(gs), gs.DeviceOpenProblem})
                         : fillPlaceholders(g.Text(75), {gs.ComTcpText()});
  const std::optional<QString> line = link.Outage.failed(text, now);
  if (!line) return;
  g.Log(true, *line);
  if (link.Outage.began() && !gs.cfg.CmdOnConnectFailed.isEmpty() && g.hooks().runHookCommand)
    g.hooks().runHookCommand(gs.cfg.CmdOnConnectFailed);
}

void linkFailed(Gateway& g) {
  GatewayState& gs = g.state();
  const LinkState& link = g.link();
  // A refused gateway is asked again by the periodic start; without one nothing would ask.
  const bool giveUp = link.LinkKind == 1 || (link.LinkKind == 2 && !link.GtNetRefused) ||
                      gs.TcpRetryCount >= 2 || gs.IntervalMs == 0;
  if (!giveUp) {
    ++gs.TcpRetryCount;
    gs.RelationBase = g.clock().tick() - gs.IntervalMs + 5000;
    if (gs.RelationBase == 0) gs.RelationBase = kNoTick;
    // No relation exists while the retry waits: a close or a Stop must not wait for one.
    gs.RelationIdle = true;
    return;
  }
  gs.TcpRetryCount = 0;
  outageReported(g);
  gs.RelationIdle = true;
  if (gs.IntervalMs >= gs.RefrOn) gs.RefreshMode = true;
  if (gs.TestStart) gs.TestStartErr = 2;
}

void finishStart(Gateway& g, bool linkOpen) {
  GatewayState& gs = g.state();
  if (linkOpen) {
    linkOpened(g);
  } else {
    linkFailed(g);
    // A Stop pressed while the link was being opened: with no relation to wait for, the stop
    // happens now instead of blocking every later start.
    if (gs.StopPending) {
      gs.StopPending = false;
      RelationStop(g);
      return;
    }
  }
  if (gs.TestStartErr > 0) RelationStop(g);
}

void openSerialLink(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (link.comHandleValid()) return;
  SerialParams p;
  // With ComName set, the COM number of the window is not used.
  p.deviceName = serialDeviceName(gs.cfg.ComName, gs.ComNoText.toInt());
  p.baudRate = gs.cfg.BaudRate;
  p.rts = gs.cfg.RTSOn;
  p.dtr = gs.cfg.DTROn;
  link.ComHandle = g.hooks().openSerial ? g.hooks().openSerial(p) : nullptr;
  gs.DeviceOpenProblem.clear();
  if (link.comHandleValid()) return;
  static constexpr int kReason[] = {407, 408, 409};
  gs.DeviceOpenProblem = g.Text(kReason[static_cast<int>(serialOpenProblem(p.deviceName))]);
}

void startPath(Gateway& g, StartSender sender) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (sender == StartSender::Button) gs.UserStopped = false;
  // A restart cuts the relation short: its faults are summed up here.
  logFaultSummary(g);
  gs.TestStart = false;
  gs.TestStartErr = 0;
  gs.TestStart = sender == StartSender::Button && gs.cfg.TestStartOn && gs.FirstStart;

  gs.Lamps.semaphore = 1;
  // A relation still open ends here: the new one begins when its link is open.
  gs.RelationOn = false;
  if (sender != StartSender::None) link.ComErrCnt = 0;
  link.RecvByteCnt = 0;
  gs.RelationIdle = false;
  gs.RelationClosing = false;
  gs.ExtraRoundWanted = false;
  gs.ExtraRoundDone = false;
  link.MemIdx = 0;
  link.RecvStopOK = false;
  link.SendStopOK = false;
  gs.CloseAtTick = kNoTick;

  const Tick now = g.clock().tick();
  link.LastActTick = now;
  alignSchedule(gs, now);

  if (gs.IntervalMs != 0) {
    gs.StartStopCaption = kStop;
    gs.StartStopImage = 1;
  }
  // Armed once: the drop runs every SendFiTxtDelay seconds for the whole run. Re-armed by every
  // start, relations shorter apart than the delay would keep it from ever running.
  if (gs.cfg.SendFiTxtDelay != 0 && gs.SendUpAtTick == 0)
    gs.SendUpAtTick = tickAfter(now, gs.cfg.SendFiTxtDelay * 1000u);

  // The mail ports listen whatever the device does.
  openMailPorts(g);
  const QString kind = gs.ComTcpText();
  link.LinkKind = kind.contains(QLatin1String("COM"))   ? 1
                  : kind.contains(QLatin1String("TCP")) ? 2
                                                        : 0;
  if (link.LinkKind == 1) {
    openSerialLink(g);
    finishStart(g, link.comHandleValid());
    return;
  }
  if (link.LinkKind == 2) {
    link.GtNetClosing = false;
    TdmGtNET& net = g.gtNet();
    net.open(gs.cfg.GtIPAdress, gs.cfg.GtTCPPort);
    gs.StartWaitOn = true;
    net.waitForConnect([&g](bool connected) {
      g.state().StartWaitOn = false;
      finishStart(g, connected);
    });
    return;
  }
  finishStart(g, false);
}

}  // namespace

void BBt1Click(Gateway& g, StartSender sender) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (gs.StopPending) return;
  // Once a close is waiting for the running relation, nothing but the user starts another.
  if (gs.CloseWanted && sender != StartSender::Button) return;
  if (gs.StartStopCaption == kStop && sender == StartSender::Button) {
    gs.UserStopped = true;
    if (!gs.RelationIdle) {
      gs.Lamps.semaphore = 0;
      if (!gs.CloseWanted) gs.StopAskedAt = g.clock().tick();
      gs.StopPending = true;
      gs.StartStopCaption = g.Text(90);
      g.Log(true, g.Text(91));
      return;
    }
  }
  if (gs.SendPhaseDue || gs.SendPhaseOn) return;
  if (!link.SmsRecvArr.isEmpty()) {
    g.Log(true, QStringLiteral("!!! Error !!! Length(SmsRecvArr)=%1 => FreeSMSArr")
                    .arg(link.SmsRecvArr.size()));
    FreeSMSArr(link);
  }
  if (gs.StartStopCaption != kStart && sender != StartSender::CycleTimer &&
      sender != StartSender::None) {
    gs.Lamps.semaphore = 0;
    RelationStop(g);
    return;
  }
  startPath(g, sender);
}

void TmrAlarmTimer(Gateway& g) {
  GatewayState& gs = g.state();
  const DateTime now = g.clock().now();
  if (!(now > gs.RecoveryAt)) return;
  gs.RecoveryAt = now + gs.cfg.RecoveryStartIncMin / 1440.0;
  if (gs.UserStopped) return;
  g.Log(true, QStringLiteral(">>> !!! --- recovery auto-start --- !!! <<<"));
  gs.SendPhaseDue = false;
  gs.SendPhaseOn = false;
  gs.StartStopCaption = kStart;
  gs.StartStopImage = 0;
  BBt1Click(g, StartSender::CycleTimer);
}

}  // namespace kolvane
