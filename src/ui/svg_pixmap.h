#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace kolvane::ui {

// A picture of the project's images (":/images/NAME.svg") drawn at size in device-independent
// pixels for a screen of the given pixel ratio, so it stays sharp at any scale.
QPixmap svgPixmap(const QString& name, QSize size, qreal devicePixelRatio);
// An icon of the same picture, drawn for every size it is asked for.
QIcon svgIcon(const QString& name);

}  // namespace kolvane::ui
