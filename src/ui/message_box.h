#pragma once

#include <QMessageBox>

namespace kolvane {
class Language;
}

namespace kolvane::ui {

// A box over every window whose buttons read as the language in force names them, so a text
// that says "press Storno" finds a button of that name. Lines split at "\r" or "\n".
QMessageBox::StandardButton showBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    const Language& language);

}  // namespace kolvane::ui
