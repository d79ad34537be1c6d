#include "ui/message_box.h"

#include <QPushButton>

#include "settings/language.h"

namespace kolvane::ui {

QMessageBox::StandardButton showBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    const Language& language) {
  QString lines = text;
  lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(icon, title, lines, buttons, owner);
  if (QAbstractButton* cancel = box.button(QMessageBox::Cancel)) {
    cancel->setText(language.Text(400));
  }
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.setWindowModality(Qt::ApplicationModal);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace kolvane::ui
