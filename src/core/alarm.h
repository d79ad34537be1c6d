#pragma once

namespace kolvane {

struct GatewayState;

// The alarm window has been closed: the main cycle's beeping stops at once. The next listing
// that brings SMS raises the alarm again.
inline void CloseAlarm(GatewayState& gs);

}  // namespace kolvane

#include "core/gateway_state.h"

namespace kolvane {

inline void CloseAlarm(GatewayState& gs) {
  gs.AlarmBeep = false;
  gs.AlarmBeepTick = 0;
}

}  // namespace kolvane
