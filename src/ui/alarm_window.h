#pragma once

#include <QWidget>

class QLabel;

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

// The alarm window TfInSmsAlarm: red, on top of other windows, centred on the primary screen,
// showing InSmsAlarmStr; closing it stops the main cycle's beeping.
class TfInSmsAlarm : public QWidget {
  Q_OBJECT

 public:
  explicit TfInSmsAlarm(Gateway& gateway, QWidget* parent = nullptr);

  // Shows the alarm text and brings the window to the front, without making it modal.
  void raiseAlarm();
  // The title in the language in force.
  void applyLanguage();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Gateway& g_;
  QLabel* label_ = nullptr;
};

}  // namespace kolvane::ui
