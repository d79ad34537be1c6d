#include "core/alarm.h"

#include "core/gateway.h"

namespace kolvane {

void CloseAlarm(GatewayState& gs) {
  gs.AlarmBeep = false;
  gs.AlarmBeepTick = 0;
}

void installHeadlessAlarm(Gateway& g, std::function<void(const QString&)> show,
                          std::function<void()> bell) {
  CycleHooks& c = g.hooks().cycle;
  c.showAlarmWindow = [&g, show = std::move(show)] {
    show(QStringLiteral("Kolvane - Alarm: ") + g.state().cfg.InSmsAlarmStr);
  };
  c.beep = [&g, bell = std::move(bell)] {
    bell();
    CloseAlarm(g.state());
  };
}

}  // namespace kolvane
