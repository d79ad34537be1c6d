#pragma once

#include <QSerialPort>
#include <memory>

#include "gsm/device_link.h"

namespace kolvane {

// The serial port of a relation: 8N1 at the configured baud rate, no flow control, RTS and DTR
// as configured, both queues cleared after opening. Reads take what the port has collected on
// the event loop; writes are queued and pushed out at once.
class SerialDeviceLink final : public DeviceLink {
 public:
  explicit SerialDeviceLink(const SerialParams& params);
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

// The default of GatewayHooks::openSerial: null when the device cannot be opened.
std::unique_ptr<DeviceLink> openSerialDevice(const SerialParams& params);

}  // namespace kolvane
