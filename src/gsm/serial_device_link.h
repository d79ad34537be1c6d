#pragma once

#include <QSerialPort>
#include <functional>
#include <memory>

#include "context/gateway_state.h"
#include "gsm/device_link.h"

namespace kolvane {

// The serial port of a relation: 8N1 at the configured baud rate, no flow control, RTS and DTR
// as configured, both queues cleared after opening. Reads take what the port has collected on
// the event loop, and bytesArrived (if given) runs each time some have come; writes are queued
// and pushed out at once.
class SerialDeviceLink final : public DeviceLink {
 public:
  explicit SerialDeviceLink(const SerialParams& params, std::function<void()> bytesArrived = {});
  ~SerialDeviceLink() override;

  bool isOpen() const override { return port_.isOpen(); }
  QByteArray readAvailable(bool* error) override;
  qint64 write(const QByteArray& data) override;
  void setRts(bool on) override;
  void setDtr(bool on) override;
  void purge() override;
  void close() override;
  bool gone() const override { return gone_; }

 private:
  // Notes a device that has gone away; true for any error after which data is lost.
  bool failed();

  QSerialPort port_;
  QString path_;
  bool gone_ = false;
};

// "COM" + n stands for the n-th serial port of the machine.
QString serialDeviceName(const QString& comName, int comNumber);
// The device of the settings in force, by the path the log names it.
QString serialDeviceOf(const GatewayState& gs);

// Why a serial device did not open, in the terms a user can act on: it is not there, this user
// may not open it (the dialout group), or another program holds it (such as ModemManager).
enum class SerialOpenProblem { Missing, Denied, Busy };
SerialOpenProblem serialOpenProblem(const QString& path);

// The default of GatewayHooks::openSerial: null when the device cannot be opened.
std::unique_ptr<DeviceLink> openSerialDevice(const SerialParams& params,
                                             std::function<void()> bytesArrived = {});

}  // namespace kolvane
