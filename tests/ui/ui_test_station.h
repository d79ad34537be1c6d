#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "core/gateway.h"
#include "core/gateway_start.h"
#include "support/free_port.h"
#include "support/sim_modem_device.h"
#include "support/sim_time_loop.h"
#include "ui/main_window.h"
#include "ui/windows.h"

namespace kolvane {

// A gateway with its windows, offscreen, on a manual clock; the serial port is the in-process
// simulated modem. Message boxes are recorded instead of shown.
struct UiStation {
  explicit UiStation(const QByteArray& cfg = {}) {
    QFile ini(dir.filePath(QStringLiteral("Kolvane.ini")));
    if (ini.open(QIODevice::WriteOnly)) {
      ini.write("[CFG]\n" + FreeMailPorts() + "ComTcp=0\nMemCheOn=0\nSendSMSDelay=100\n" + cfg);
      ini.close();
    }
    StartupOptions o;
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir.path();
    gateway = std::make_unique<Gateway>(clock, o);
    windows = std::make_unique<ui::Windows>(*gateway);
    GatewayHooks& hooks = gateway->hooks();
    hooks.askExplanation = [this](const QString& text, bool) {
      boxes << text;
      return false;
    };
    hooks.openSerial = [this](const SerialParams&) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<SimModemDevice>(sim);
    };
    loop = std::make_unique<SimTimeLoop>(*gateway, clock);
    started = gateway->InitX();
    main().show();
    exposed = QTest::qWaitForWindowExposed(&main());
  }

  ui::TFMain& main() { return windows->main(); }
  GatewayState& gs() { return gateway->state(); }
  template <class T>
  T* child(const QString& name) {
    return windows->main().findChild<T*>(name);
  }
  // One relation from a press of Start to its end; the window follows the state.
  void relation() {
    QTest::mouseClick(child<QWidget>(QStringLiteral("BBt1")), Qt::LeftButton);
    loop->runUntil([&] { return gs().RelationIdle; }, 120000);
    loop->run(300);
    main().syncFromGateway();
  }

  QTemporaryDir dir;
  ManualClock clock{100000, toDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)))};
  std::shared_ptr<SimModem> sim = std::make_shared<SimModem>(clock);
  std::unique_ptr<Gateway> gateway;
  std::unique_ptr<ui::Windows> windows;
  std::unique_ptr<SimTimeLoop> loop;
  QStringList boxes;
  bool started = false;
  bool exposed = false;
};

}  // namespace kolvane
