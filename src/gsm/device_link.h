#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace kolvane {

// A byte link to a GSM device opened for one relation: a serial port, or for tests an
// in-process simulated device. Reads and writes never block.
class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  virtual bool isOpen() const = 0;
  // Everything the device has sent so far; error set when the state query or read failed.
  virtual QByteArray readAvailable(bool* error) = 0;
  // Bytes the device accepted (may be fewer than given), or -1 on failure.
  virtual qint64 write(const QByteArray& data) = 0;
  virtual void setRts(bool on) = 0;
  virtual void setDtr(bool on) = 0;
  virtual void purge() {}
  // True once the device has gone away (unplugged): nothing more can be read or written.
  virtual bool gone() const { return false; }
  virtual void close() = 0;
};

struct SerialParams {
  QString deviceName;  // ComName, or /dev/ttyS(n-1) for port number n
  int baudRate = 9600;
  bool rts = false;
  bool dtr = true;
};

}  // namespace kolvane
