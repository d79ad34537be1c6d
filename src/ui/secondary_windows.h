#pragma once

#include <QWidget>

#include "ui/window_openers.h"

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

// Fills both openers with the settings dialog and the five monitor views, created now, hidden
// until opened, and wires them into the gateway: language changes, placements saved at
// shutdown, and the waiting-store scan reloading the store views it changed. The windows are
// children of owner (top-level windows of their own); without an owner the gateway owns them.
void installSecondaryWindows(WindowOpeners& openers, kolvane::Gateway& gateway, QWidget* owner);

}  // namespace kolvane::ui
