#include "gsm/serial_device_link.h"

namespace kolvane {

namespace {

// Errors after which the port cannot be read any more; others (an RTS request a
// pseudo-terminal refuses, say) leave the data intact.
bool readFailed(QSerialPort::SerialPortError e) {
  return e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
         e == QSerialPort::NotOpenError;
}

}  // namespace

QString serialDeviceName(const QString& comName, int comNumber) {
  if (!comName.isEmpty()) return comName;
  return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
}

SerialDeviceLink::SerialDeviceLink(const SerialParams& params) {
  // A full path (a pseudo-terminal, /dev/ttyUSB0) is taken as it is, listed or not.
  port_.setPortName(params.deviceName);
  if (!port_.open(QIODevice::ReadWrite)) return;
  port_.setBaudRate(params.baudRate);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(QSerialPort::NoParity);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  setRts(params.rts);
  setDtr(params.dtr);
  purge();
}

SerialDeviceLink::~SerialDeviceLink() = default;

QByteArray SerialDeviceLink::readAvailable(bool* error) {
  if (error) *error = false;
  if (!port_.isOpen()) {
    if (error) *error = true;
    return {};
  }
  QByteArray data = port_.readAll();
  if (readFailed(port_.error())) {
    if (error) *error = true;
    data.clear();
  }
  port_.clearError();
  return data;
}

qint64 SerialDeviceLink::write(const QByteArray& data) {
  if (!port_.isOpen()) return -1;
  const qint64 n = port_.write(data);
  if (n > 0) port_.flush();
  return n;
}

void SerialDeviceLink::setRts(bool on) {
  if (port_.isOpen()) port_.setRequestToSend(on);
  port_.clearError();
}

void SerialDeviceLink::setDtr(bool on) {
  if (port_.isOpen()) port_.setDataTerminalReady(on);
  port_.clearError();
}

void SerialDeviceLink::purge() {
  if (port_.isOpen()) port_.clear(QSerialPort::AllDirections);
  port_.clearError();
}

void SerialDeviceLink::close() {
  port_.close();
}

std::unique_ptr<DeviceLink> openSerialDevice(const SerialParams& params) {
  auto link = std::make_unique<SerialDeviceLink>(params);
  if (!link->isOpen()) return nullptr;
  return link;
}

}  // namespace kolvane
