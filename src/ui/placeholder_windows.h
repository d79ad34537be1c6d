#pragma once

#include "ui/window_openers.h"

class QWidget;

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

// Stand-ins while the settings dialog and the views are not built in: every opener puts the
// focus on the owner's "More setting" button.
void installPlaceholderWindows(WindowOpeners& openers, kolvane::Gateway& gateway, QWidget* owner);

}  // namespace kolvane::ui
