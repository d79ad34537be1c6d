#include "ui/alarm_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "core/alarm.h"
#include "core/gateway.h"
#include "settings/caption_texts.h"
#include "ui/svg_pixmap.h"
#include "ui/window_placement.h"

namespace kolvane::ui {

TfInSmsAlarm::TfInSmsAlarm(Gateway& gateway, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), g_(gateway) {
  setObjectName(QStringLiteral("fInSmsAlarm"));
  setWindowIcon(svgIcon(QStringLiteral("app")));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(Qt::red));
  pal.setColor(QPalette::WindowText, QColor(Qt::black));
  setPalette(pal);
  setAutoFillBackground(true);
  label_ = new QLabel(QStringLiteral("Alarm"), this);
  label_->setObjectName(QStringLiteral("LaAlarm"));
  QFont f = label_->font();
  f.setBold(true);
  f.setPixelSize(20);
  label_->setFont(f);
  label_->setAlignment(Qt::AlignCenter);
  label_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  resize(462, 116);
  applyLanguage();
}

void TfInSmsAlarm::applyLanguage() {
  setWindowTitle(captionText(g_.language(), objectName(), QLatin1String(kCaptionTitle)));
}

void TfInSmsAlarm::raiseAlarm() {
  label_->setText(g_.state().cfg.InSmsAlarmStr);
  if (!isVisible()) {
    // Centred on the primary screen each time it opens.
    adjustSize();
    resize(size().expandedTo({462, 116}));
    centreOnPrimaryScreen(*this);
    show();
  }
  raise();
  activateWindow();
}

void TfInSmsAlarm::closeEvent(QCloseEvent* event) {
  CloseAlarm(g_.state());
  QWidget::closeEvent(event);
}

}  // namespace kolvane::ui
