#include "ui/lamp_image.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/svg_pixmap.h"

namespace kolvane::ui {

LampImage::LampImage(const QString& objectName, const QString& image, QSize size, QWidget* parent)
    : QWidget(parent), image_(image), size_(size) {
  setObjectName(objectName);
  setFixedSize(size);
  setAttribute(Qt::WA_Hover);
}

void LampImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (hovered_) {
    p.fillRect(rect(), palette().color(QPalette::Base));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  p.drawPixmap(0, 0, svgPixmap(image_, size_, devicePixelRatioF()));
}

void LampImage::enterEvent(QEnterEvent*) {
  hovered_ = true;
  update();
}

void LampImage::leaveEvent(QEvent*) {
  hovered_ = false;
  update();
}

void LampImage::mousePressEvent(QMouseEvent* event) {
  Q_EMIT pressed(event->button());
}

void LampImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    Q_EMIT clicked();
  }
}

}  // namespace kolvane::ui
