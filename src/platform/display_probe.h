#pragma once

#include <QString>

namespace kolvane {

// Whether windows can be shown: a display is named (DISPLAY, WAYLAND_DISPLAY, or a platform
// chosen with QT_QPA_PLATFORM) and it answers. Without an answer the windowing layer would abort
// the process, so a service started with a desktop session's stale environment runs headless.
struct DisplayProbe {
  bool usable = false;
  QString problem;  // why a named display cannot be used; empty when none is named
};

DisplayProbe probeDisplay();

}  // namespace kolvane
