#include "ui/placeholder_windows.h"

#include <QPushButton>
#include <QWidget>

namespace kolvane::ui {

void installPlaceholderWindows(WindowOpeners& openers, kolvane::Gateway&, QWidget* owner) {
  const auto focusMoreSetting = [owner] {
    if (auto* button = owner->findChild<QPushButton*>(QStringLiteral("BtMa2"))) {
      button->setFocus();
    }
  };
  openers.openSettings = [focusMoreSetting](int, const QString&) { focusMoreSetting(); };
  openers.openView = [focusMoreSetting](ViewKind) { focusMoreSetting(); };
}

}  // namespace kolvane::ui
