#include "ui/windows.h"

#include <QApplication>
#include <QPushButton>

#include "core/gateway.h"
#include "ui/alarm_window.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/secondary_windows.h"
#include "ui/send_sms_dialog.h"
#include "ui/window_placement.h"

namespace kolvane::ui {

Windows::Windows(Gateway& gateway)
    : g_(gateway),
      main_(std::make_unique<TFMain>(gateway, openers_)),
      send_(std::make_unique<TfSiSend>(gateway)),
      alarm_(std::make_unique<TfInSmsAlarm>(gateway)) {
  QObject::connect(main_.get(), &TFMain::sendDialogWanted, send_.get(), &TfSiSend::showDialog);
  installHooks();
  // The settings dialog and the views chain their hooks onto the main window's.
  installSecondaryWindows(openers_, gateway, main_.get());
}

Windows::~Windows() = default;

void Windows::installHooks() {
  GatewayHooks& hooks = g_.hooks();
  TFMain* main = main_.get();
  // A box over every window, as the program's own questions are.
  const auto box = [this, main](QMessageBox::Icon icon, const QString& text,
                                QMessageBox::StandardButtons buttons) {
    return showBox(main, icon, QStringLiteral("Kolvane"), text, buttons, g_.language());
  };
  hooks.showInfo = [box](const QString& text) {
    box(QMessageBox::Information, text, QMessageBox::Ok);
  };
  hooks.showError = [box](const QString& text) {
    box(QMessageBox::Critical, text, QMessageBox::Ok);
  };
  hooks.askExplanation = [box](const QString& text, bool okCancel) {
    const auto buttons = okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    return box(QMessageBox::Warning, text, buttons) == QMessageBox::Ok;
  };
  hooks.openSettingsAt = [this](GatewayHooks::SettingsField field) {
    if (!openers_.openSettings) return;
    using Field = GatewayHooks::SettingsField;
    switch (field) {
      case Field::ComPort:
        return openers_.openSettings(0, QStringLiteral("ComNo"));
      case Field::GatewayAddress:
        return openers_.openSettings(0, QStringLiteral("GtIPAdress"));
      case Field::SmtpPort:
        return openers_.openSettings(1, QStringLiteral("SmtpPort"));
      case Field::Pop3Port:
        return openers_.openSettings(1, QStringLiteral("Pop3Port"));
    }
  };
  hooks.focusStartStop = [main] {
    if (auto* b = main->findChild<QPushButton*>(QStringLiteral("BBt1"))) b->setFocus();
  };
  // Other windows' language (the settings dialog's) keeps running first.
  hooks.applyLanguageToWindows = [this, before = hooks.applyLanguageToWindows] {
    if (before) before();
    main_->applyLanguage();
    send_->applyLanguage();
    alarm_->applyLanguage();
  };
  hooks.savePlacementsOfOpenWindows = [this, before = hooks.savePlacementsOfOpenWindows] {
    if (before) before();
    main_->keepPlacement();
    if (send_->isVisible()) send_->keepPlacement();
  };
  CycleHooks& cycle = hooks.cycle;
  cycle.refreshStatusDisplay = [main] { main->StBPanelSet(); };
  cycle.showCounters = [main] { main->showCounters(); };
  cycle.showAlarmWindow = [this] { alarm_->raiseAlarm(); };
  cycle.beep = [] { QApplication::beep(); };
  cycle.closeMainWindow = [main] { main->closeQuery(); };
}

void Windows::showMainWindow() {
  restorePlacement(*main_, g_.state(), main_->objectName());
  main_->syncFromGateway();
  main_->show();
  // Space starts the gateway straight away.
  g_.hooks().focusStartStop();
  g_.startCycle();
}

}  // namespace kolvane::ui
