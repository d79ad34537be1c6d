#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace kolvane::ui {

// One picture of the main window's bottom row. Lamps double as buttons: a click reports its
// mouse button; the picture is drawn opaque (on a light backing) while the mouse is over it
// and transparent otherwise.
class LampImage : public QWidget {
  Q_OBJECT

 public:
  LampImage(const QString& objectName, const QString& image, QSize size, QWidget* parent);

  QSize sizeHint() const override { return size_; }
  bool hovered() const { return hovered_; }

 Q_SIGNALS:
  void pressed(Qt::MouseButton button);
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString image_;
  QSize size_;
  bool hovered_ = false;
};

}  // namespace kolvane::ui
