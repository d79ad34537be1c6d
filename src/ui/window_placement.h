#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include "context/gateway_state.h"

class QWidget;

namespace kolvane::ui {

// Where a window goes: its stored placement, or centred on the first screen when none is
// stored; the size comes from the store or stays the current one. The window is then kept
// whole on the screen it lies on (the first when it lies on none, e.g. an unplugged monitor),
// shrunk to that screen when larger. screens: available areas, the primary screen first.
QRect placeWindow(const WindowPlacement& stored, QSize current, const QList<QRect>& screens);

// The available areas of the screens, the primary first.
QList<QRect> availableScreens();

// Centres a window on the primary screen, kept whole on it.
void centreOnPrimaryScreen(QWidget& window);
// Restores a form's placement from the state (read from the settings file at start).
void restorePlacement(QWidget& window, const GatewayState& gs, const QString& form);
// Keeps a form's placement in the state; the shutdown writes it to the settings file. A
// minimised window keeps what was kept last; a hidden one keeps where it was last shown.
void keepPlacement(const QWidget& window, GatewayState& gs, const QString& form);

}  // namespace kolvane::ui
