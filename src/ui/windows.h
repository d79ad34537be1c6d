#pragma once

#include <QObject>
#include <memory>

#include "ui/window_openers.h"

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

class TFMain;
class TfInSmsAlarm;
class TfSiSend;

// Every window of the program, wired to the gateway's hooks: the main window, the send-SMS
// dialog, the alarm window, the message boxes and the openers of the other windows.
class Windows {
 public:
  explicit Windows(Gateway& gateway);
  ~Windows();

  // After a successful start-up: the main window at its placement, drawn, and the gateway's
  // cycle running; the first paint lets it start.
  void showMainWindow();

  TFMain& main() { return *main_; }
  TfSiSend& sendDialog() { return *send_; }
  TfInSmsAlarm& alarm() { return *alarm_; }
  WindowOpeners& openers() { return openers_; }

 private:
  void installHooks();

  Gateway& g_;
  WindowOpeners openers_;
  std::unique_ptr<TFMain> main_;
  std::unique_ptr<TfSiSend> send_;
  std::unique_ptr<TfInSmsAlarm> alarm_;
};

}  // namespace kolvane::ui
