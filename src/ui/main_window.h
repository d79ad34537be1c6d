#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>

#include "ui/window_openers.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

class LampImage;
class SerialPortPicker;

// The main window TFMain: shows the gateway's state (header, log, lamps, counters, status
// text) and calls the gateway's operations; it holds no gateway logic of its own.
class TFMain : public QMainWindow {
  Q_OBJECT

 public:
  TFMain(Gateway& gateway, WindowOpeners& openers, QWidget* parent = nullptr);
  ~TFMain() override;

  // Redraws lamps and status text from LampState and StatusText (StBPanelSet).
  void StBPanelSet();
  // The counter grid from the four counters and the date.
  void showCounters();
  // Captions, version and device in the language in force.
  void applyLanguage();
  // Follows the gateway's state: caption, Start/Stop button, locked controls, new log lines.
  void syncFromGateway();
  // The close of the window through the close query (also the main cycle's own close):
  // hides to the tray with CloseOff, otherwise the gateway closes when no relation runs.
  // True when the gateway has shut down.
  bool closeQuery();
  // Keeps the window's placement for the shutdown to save.
  void keepPlacement();

 Q_SIGNALS:
  // The PC picture asks for the send-SMS dialog.
  void sendDialogWanted();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* buildHeader();
  QWidget* buildBottomRow();
  LampImage* lamp(const QString& name, const QString& image, QSize size, QWidget* parent);
  void onPortKindChanged(int index);
  void hideToTray();
  void showFromTray();
  void syncMemo();
  void showDevice();

  Gateway& g_;
  WindowOpeners& openers_;
  QComboBox* cb1x_ = nullptr;
  QLineEdit* e1c_ = nullptr;
  SerialPortPicker* comName_ = nullptr;
  QPushButton* bbt1_ = nullptr;
  QPushButton* btMa2_ = nullptr;
  QPlainTextEdit* me1_ = nullptr;
  QLabel* statusText_ = nullptr;
  QLabel* versionPanel_ = nullptr;
  QLabel* devicePanel_ = nullptr;
  QLabel* smtpLabel_ = nullptr;
  QLabel* pop3Label_ = nullptr;
  std::array<QLabel*, 9> counters_{};
  QSystemTrayIcon* tray_ = nullptr;
  QTimer* syncTimer_ = nullptr;
  std::uint64_t memoAdded_ = 0;
  std::uint64_t memoDropped_ = 0;
  int shownImage_ = -1;
};

}  // namespace kolvane::ui
