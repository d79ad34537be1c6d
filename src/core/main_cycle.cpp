#include "core/main_cycle.h"

#include <exception>
#include <optional>

#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "core/gateway_start.h"
#include "core/mail_ports.h"
#include "core/unhandled_error.h"
#include "gsm/at_automaton.h"
#include "gsm/link_passes.h"
#include "gsm/sms_list_reader.h"
#include "mail/pop3_expire.h"

namespace kolvane {

namespace {

QString minutesSeconds(std::uint32_t seconds) {
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void dateChangeStage(Gateway& g) {
  GatewayState& gs = g.state();
  const DateTime now = g.clock().now();
  if (dayOf(now) != dayOf(gs.TimerLast)) {
    const Settings& s = gs.cfg;
    g.statusNotes().foldCounters({s.SmsInCnt, s.SmsOutCnt, s.EmlInCnt, s.EmlOutCnt});
    gs.cfg.SmsInCnt = gs.cfg.SmsOutCnt = gs.cfg.EmlInCnt = gs.cfg.EmlOutCnt = 0;
    gs.CounterDateText = counterDateLabel(now);
    gs.CountersChanged = true;
    // A service runs for months: the POP3 store expires every day, not only at start-up.
    Pop3Expire(g);
  }
  gs.TimerLast = now;
}

void counterLabelsStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (!gs.CountersChanged) return;
  gs.CountersChanged = false;
  if (g.hooks().cycle.showCounters) g.hooks().cycle.showCounters();
}

// True while the cycle still waits for the first paint (or about 10 s without one).
bool startupWaitStage(GatewayState& gs) {
  if (!gs.FirstPaintPending || gs.StartupDue) return false;
  if (++gs.StartupWaitTicks > 100 && !gs.InstallMode) {
    gs.StartupDue = true;
    gs.FirstPaintPending = false;
  }
  return true;
}

void startupStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (!gs.StartupDue) return;
  gs.StartupDue = false;
  // Headless there is no Start button: the gateway starts at launch as a service should.
  if (gs.cfg.StartGo || g.options().headless) BBt1Click(g, StartSender::Other);
}

void restartStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (!gs.RestartWanted) return;
  gs.RestartWanted = false;
  if (g.link().ComErrCnt < RestartLimit) {
    BBt1Click(g, StartSender::None);
  } else {
    g.Log(true, g.Text(49));
    if (gs.TestStart) gs.TestStartErr = 4;
  }
}

// A log line is no activity of the relation: mail traffic or debug lines would keep it open.
void logMemoStage(Gateway& g) {
  g.memo().showPendingLines(g.log(), g.state().cfg.MeMaxLi);
}

void countdownStage(Gateway& g) {
  GatewayState& gs = g.state();
  const Tick t = gs.TickBegin;
  const std::uint32_t left = (gs.RelationBase + gs.IntervalMs - t) / 1000;
  QString text;
  if (left <= 60000) {
    text = g.Text(73) + QLatin1Char(' ');
    if (gs.RefreshMode) {
      const std::uint32_t refresh = (gs.RelationBase + gs.RefreshOffset + gs.RefrPer - t) / 1000;
      text +=
          minutesSeconds(refresh) + QStringLiteral(" (") + minutesSeconds(left) + QLatin1Char(')');
    } else {
      text += minutesSeconds(left);
    }
  }
  if (text != gs.StatusText) gs.StatusText = text;
  g.memo().trim(gs.cfg.MeMaxLi);
}

void periodicStart(Gateway& g) {
  GatewayState& gs = g.state();
  const Tick t = gs.TickBegin;
  const bool due =
      tickBefore(gs.RelationBase + gs.IntervalMs, t) ||
      (gs.RefreshMode && tickBefore(gs.RelationBase + gs.RefreshOffset + gs.RefrPer, t));
  // A start that falls due while a relation runs waits for its end, then runs once: a new
  // start would drop the running relation and read the same SMS again.
  if (!due || parkedIntervalStart(g)) return;
  if (gs.RelationIdle) BBt1Click(g, StartSender::CycleTimer);
}

void periodicStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (gs.IntervalMs == 0 || gs.RelationBase == 0) return;
  periodicStart(g);
  if (tickBefore(gs.NextSecondTick, gs.TickBegin)) {
    // After a sleep the countdown goes on from this second rather than catching up.
    do {
      gs.NextSecondTick += 1000;
    } while (tickBefore(gs.NextSecondTick, gs.TickBegin));
    countdownStage(g);
  }
}

// The device side runs whatever the mail ports do.
void kickOffStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (!gs.KickOffPending) return;
  gs.KickOffPending = false;
  if (gs.CloseWanted) return;  // closing: the relation ends without its work
  if (usesGatewayProtocol(gs.cfg.GsmDevice)) {
    if (g.hooks().startGateProtocol) g.hooks().startGateProtocol();
  } else {
    KickOffAT(g);
  }
}

void statusDisplayStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (gs.Lamps == gs.LampShown && gs.StatusText == gs.StatusShown) return;
  if (g.hooks().cycle.refreshStatusDisplay) {
    g.hooks().cycle.refreshStatusDisplay();
  } else {
    gs.LampShown = gs.Lamps;
    gs.StatusShown = gs.StatusText;
  }
}

void fileDropStage(Gateway& g) {
  GatewayState& gs = g.state();
  const CycleHooks& hooks = g.hooks().cycle;
  const Tick now = g.clock().tick();
  if (!tickDue(gs.SendUpAtTick, now)) return;
  gs.SendUpAtTick = tickAfter(now, gs.cfg.SendFiTxtDelay * 1000u);
  if (hooks.smtpSessionActive && hooks.smtpSessionActive()) {
    gs.SendUpAtTick = tickAfter(now, 200);
  } else if (hooks.sendUpFiles) {
    hooks.sendUpFiles();
  }
}

void alarmBeepStage(Gateway& g) {
  GatewayState& gs = g.state();
  if (!gs.AlarmBeep) return;
  if (gs.AlarmBeepTick == 0 && g.hooks().cycle.beep) g.hooks().cycle.beep();
  if (++gs.AlarmBeepTick > 10) gs.AlarmBeepTick = 0;
}

void selfCloseStage(Gateway& g) {
  GatewayState& gs = g.state();
  // A close refused during the relation happens now that it is over; that request had passed
  // the close-to-tray rule already.
  if (gs.CloseWanted && gs.RelationIdle) {
    gs.CloseWanted = false;
    gs.ShortcutClose = true;
  } else if (!tickDue(gs.CloseAtTick, gs.TickBegin)) {
    return;
  }
  if (g.hooks().cycle.closeMainWindow) {
    g.hooks().cycle.closeMainWindow();
  } else {
    g.requestClose();
  }
}

// The stages a received answer may make due.
void relationStages(Gateway& g) {
  kickOffStage(g);                             // 10
  if (g.link().ListTick != 0) ReadSmsList(g);  // 11
  announcedSmsStage(g);
  listedSmsStage(g);    // 12
  allDeletedStage(g);   // 13
  sendPhaseStage(g);    // 14
  nonDeliveryStage(g);  // 15
  jobDoneStage(g);      // 16
  idleEndStage(g);      // 17
}

// The stages of a relation, in the tick's order: the restart a line error asked for, the
// kick-off through the idle end, the link's close. The tick runs its own stages in between;
// the follow-up between ticks runs these alone, so an answer is acted on the same way
// whenever it comes.
template <typename Before, typename BeforeEnd>
void relationRun(Gateway& g, Before before, BeforeEnd beforeEnd) {
  restartStage(g);      // 6
  before();             // 7-9 of the tick
  relationStages(g);    // 10-17
  beforeEnd();          // 18, 19 of the tick
  relationEndStage(g);  // 20
}

template <typename Body>
void guarded(Gateway& g, Body body) {
  GatewayState& gs = g.state();
  const LinkState& link = g.link();
  if (link.RecvBusy || link.SendBusy || gs.Run || gs.StartWaitOn) return;
  gs.Run = true;
  std::optional<QString> error;
  try {
    body();
  } catch (const std::exception& e) {
    error = QString::fromLocal8Bit(e.what());
  } catch (...) {
    error = QStringLiteral("unknown error");
  }
  gs.Run = false;
  // Reported after Run is clear, so a report's own command or a window does not stall the cycle.
  if (error) OnUnhandledError(g, g.cycleTimer(), *error);
}

void tick(Gateway& g) {
  GatewayState& gs = g.state();
  const CycleHooks& hooks = g.hooks().cycle;

  dateChangeStage(g);                // 1
  counterLabelsStage(g);             // 2
  if (startupWaitStage(gs)) return;  // 3
  gs.TickBegin = g.clock().tick();   // 4
  startupStage(g);                   // 5
  relationRun(
      g,
      [&g] {
        logMemoStage(g);   // 7
        periodicStage(g);  // 8, 9
      },
      [&gs, &hooks] {
        if (gs.Pop3Listen && hooks.deliverPop3Reply) hooks.deliverPop3Reply();  // 18
        if (gs.SmtpListen && hooks.deliverSmtpReply) hooks.deliverSmtpReply();  // 19
      });                                                                       // 6, 10-17, 20
  statusDisplayStage(g);                                                        // 21
  fileDropStage(g);                                                             // 22
  listenRetryStage(g);
  if (hooks.runWaitingStore) hooks.runWaitingStore();                        // 23
  alarmBeepStage(g);                                                         // 24
  if (gs.RunResultsDue && hooks.reportRunResults) hooks.reportRunResults();  // 25
  selfCloseStage(g);                                                         // 26
}

}  // namespace

QString counterDateLabel(DateTime now) {
  const QDate d = fromDateTime(now).date();
  return QStringLiteral("%1.%2.").arg(d.day()).arg(d.month());
}

void runMainCycle(Gateway& g) {
  guarded(g, [&g] { tick(g); });
}

void runRelationStages(Gateway& g) {
  GatewayState& gs = g.state();
  // Before the first paint the cycle has not begun its work.
  if (gs.FirstPaintPending && !gs.StartupDue) return;
  guarded(g, [&g, &gs] {
    gs.TickBegin = g.clock().tick();
    const bool wasIdle = gs.RelationIdle;
    relationRun(
        g, [] {}, [] {});
    // A periodic start that fell due meanwhile follows the end at once rather than at the
    // next tick.
    if (!wasIdle && gs.RelationIdle && gs.IntervalMs != 0 && gs.RelationBase != 0) periodicStart(g);
  });
}

}  // namespace kolvane
