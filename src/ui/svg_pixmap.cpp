#include "ui/svg_pixmap.h"

#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

// The images live in a static library: their resource registers on first use. At global
// scope, as the resource's initialiser is declared there.
static void initImages() {
  static const bool done = [] {
    Q_INIT_RESOURCE(images);
    return true;
  }();
  (void)done;
}

namespace kolvane::ui {

namespace {

QString imagePath(const QString& name) {
  initImages();
  return QStringLiteral(":/images/") + name + QStringLiteral(".svg");
}

class SvgIconEngine final : public QIconEngine {
 public:
  explicit SvgIconEngine(QString name) : name_(std::move(name)) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    QSvgRenderer renderer(imagePath(name_));
    if (mode == QIcon::Disabled) painter->setOpacity(0.4);
    renderer.render(painter, rect);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paint(&p, QRect(QPoint(), size), mode, state);
    return pm;
  }
  QIconEngine* clone() const override { return new SvgIconEngine(name_); }

 private:
  QString name_;
};

}  // namespace

QPixmap svgPixmap(const QString& name, QSize size, qreal devicePixelRatio) {
  QPixmap pm(size * devicePixelRatio);
  pm.setDevicePixelRatio(devicePixelRatio);
  pm.fill(Qt::transparent);
  QSvgRenderer renderer(imagePath(name));
  QPainter p(&pm);
  renderer.render(&p, QRectF(QPointF(), QSizeF(size)));
  return pm;
}

QIcon svgIcon(const QString& name) {
  return QIcon(new SvgIconEngine(name));
}

}  // namespace kolvane::ui
