#pragma once

#include <QString>
#include <functional>

namespace kolvane {

class Gateway;
struct GatewayState;

// The alarm window has been closed: the main cycle's beeping stops at once. The next listing
// that brings SMS raises the alarm again.
void CloseAlarm(GatewayState& gs);

// Without windows there is nothing to close, so the alarm is shown as a line and sounds one
// bell instead of beeping until someone closes it.
void installHeadlessAlarm(Gateway& g, std::function<void(const QString&)> show,
                          std::function<void()> bell);

}  // namespace kolvane
