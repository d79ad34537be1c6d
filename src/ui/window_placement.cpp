#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace kolvane::ui {

namespace {

int overlapArea(const QRect& a, const QRect& b) {
  const QRect i = a.intersected(b);
  return i.isValid() ? i.width() * i.height() : 0;
}

}  // namespace

QRect placeWindow(const WindowPlacement& stored, QSize current, const QList<QRect>& screens) {
  if (screens.isEmpty()) return {};
  QSize size = current;
  if (stored.valid && stored.Width > 0 && stored.Height > 0) size = {stored.Width, stored.Height};
  const QRect first = screens.first();
  QRect r(QPoint(), size);
  if (stored.valid) {
    r.moveTopLeft({stored.Left, stored.Top});
  } else {
    r.moveTopLeft({first.left() + (first.width() - size.width()) / 2,
                   first.top() + (first.height() - size.height()) / 2});
  }
  // The screen showing most of the window.
  const auto best = std::max_element(
      screens.begin(), screens.end(),
      [&](const QRect& a, const QRect& b) { return overlapArea(r, a) < overlapArea(r, b); });
  const QRect screen = overlapArea(r, *best) > 0 ? *best : first;
  r.setSize(size.boundedTo(screen.size()));
  r.moveLeft(std::clamp(r.left(), screen.left(), screen.right() - r.width() + 1));
  r.moveTop(std::clamp(r.top(), screen.top(), screen.bottom() - r.height() + 1));
  return r;
}

QList<QRect> availableScreens() {
  QList<QRect> out;
  if (QScreen* primary = QGuiApplication::primaryScreen()) out << primary->availableGeometry();
  for (QScreen* s : QGuiApplication::screens()) {
    if (s != QGuiApplication::primaryScreen()) out << s->availableGeometry();
  }
  return out;
}

namespace {

// The frame (title bar, borders) is kept on the screen too, where the window system tells it.
void applyPlacement(QWidget& window, const WindowPlacement& stored) {
  const QSize frame = window.frameGeometry().size() - window.size();
  WindowPlacement framed = stored;
  if (framed.valid && framed.Width > 0 && framed.Height > 0) {
    framed.Width += frame.width();
    framed.Height += frame.height();
  }
  const QRect r = placeWindow(framed, window.size() + frame, availableScreens());
  if (r.isEmpty()) return;
  window.resize(r.size() - frame);
  window.move(r.topLeft());
}

}  // namespace

void centreOnPrimaryScreen(QWidget& window) {
  applyPlacement(window, {});
}

void restorePlacement(QWidget& window, const GatewayState& gs, const QString& form) {
  const auto it = gs.Placements.find(form);
  applyPlacement(window, it != gs.Placements.end() ? it->second : WindowPlacement{});
}

void keepPlacement(const QWidget& window, GatewayState& gs, const QString& form) {
  if (window.isMinimized()) return;
  WindowPlacement& p = gs.Placements[form];
  p.Left = window.pos().x();
  p.Top = window.pos().y();
  p.Width = window.width();
  p.Height = window.height();
  p.valid = true;
}

}  // namespace kolvane::ui
