#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "core/gateway.h"
#include "support/free_port.h"
#include "support/scripted_device.h"
#include "support/sim_time_loop.h"

namespace kolvane {

// A started headless gateway in a temporary folder on a manual clock. Its serial port is a
// scripted device; hook commands and shown log lines are recorded. The mail servers listen on
// free ports and the TCP gateway address is the loopback.
class LinkTestGateway {
 public:
  explicit LinkTestGateway(const QByteArray& cfg = {}) {
    QFile ini(dir_.filePath(QStringLiteral("Kolvane.ini")));
    if (ini.open(QIODevice::WriteOnly)) {
      ini.write("[CFG]\n" + FreeMailPorts() + "GtIPAdress=127.0.0.1\nGtTCPPort=1\n" + cfg);
      ini.close();
    }
    StartupOptions o;
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir_.path();
    o.headless = true;
    gateway_ = std::make_unique<Gateway>(clock, o);
    Gateway& g = *gateway_;
    g.log().setEchoSink([this](const QString& line) { shown_ << line.mid(10); });
    g.hooks().openSerial = [this](const SerialParams& p) -> std::unique_ptr<DeviceLink> {
      opened << p;
      if (!deviceAvailable) return nullptr;
      device = std::make_shared<ScriptedDeviceState>();
      device->answer = answer;
      return std::make_unique<ScriptedDevice>(device);
    };
    g.hooks().runHookCommand = [this](const QString& cmd) { commands << cmd; };
    loop_ = std::make_unique<SimTimeLoop>(g, clock);
    started = g.InitX();
    // Headless: the main window counts as painted at once.
    g.state().FirstPaintPending = false;
    shown();
  }

  Gateway& g() { return *gateway_; }
  GatewayState& gs() { return gateway_->state(); }
  LinkState& link() { return gateway_->link(); }
  QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

  // Shown log lines since the last call, without their time stamps.
  QStringList shown() { return std::exchange(shown_, QStringList()); }

  ManualClock clock{100000, toDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)))};
  bool started = false;
  // Runs the gateway's timers in simulated time.
  SimTimeLoop& loop() { return *loop_; }

  // The serial device of the last open, and how the next one answers.
  std::shared_ptr<ScriptedDeviceState> device;
  std::function<QByteArray(const QByteArray&)> answer = okModem;
  bool deviceAvailable = true;
  QList<SerialParams> opened;
  QStringList commands;

 private:
  QTemporaryDir dir_;
  std::unique_ptr<Gateway> gateway_;
  std::unique_ptr<SimTimeLoop> loop_;
  QStringList shown_;
};

}  // namespace kolvane
