#include "gsm/serial_device_link.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <utility>

namespace kolvane {

bool SerialDeviceLink::failed() {
  // Errors after which data is lost; others (an RTS request a pseudo-terminal refuses, say)
  // leave it intact. A resource error is a device that went away; so is a device file that
  // vanished (an unplugged USB adapter), whatever the driver reports.
  const QSerialPort::SerialPortError e = port_.error();
  if (e == QSerialPort::ResourceError || e == QSerialPort::NotOpenError ||
      !QFileInfo::exists(path_))
    gone_ = true;
  port_.clearError();
  return gone_ || e == QSerialPort::ReadError || e == QSerialPort::WriteError;
}

QString serialDeviceName(const QString& comName, int comNumber) {
  if (!comName.isEmpty()) return comName;
  return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
}

QString serialDeviceOf(const GatewayState& gs) {
  return serialDeviceName(gs.cfg.ComName, gs.ComNoText.toInt());
}

SerialOpenProblem serialOpenProblem(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  if (::access(name.constData(), F_OK) != 0) return SerialOpenProblem::Missing;
  if (::access(name.constData(), R_OK | W_OK) != 0) return SerialOpenProblem::Denied;
  // There and allowed, yet it did not open: held exclusively or locked by another program.
  return SerialOpenProblem::Busy;
}

SerialDeviceLink::SerialDeviceLink(const SerialParams& params, std::function<void()> bytesArrived)
    : path_(params.deviceName) {
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
  if (bytesArrived) QObject::connect(&port_, &QSerialPort::readyRead, &port_, bytesArrived);
}

SerialDeviceLink::~SerialDeviceLink() = default;

QByteArray SerialDeviceLink::readAvailable(bool* error) {
  if (error) *error = false;
  if (!port_.isOpen()) {
    gone_ = true;
    if (error) *error = true;
    return {};
  }
  QByteArray data = port_.readAll();
  if (failed()) {
    if (error) *error = true;
    data.clear();
  }
  return data;
}

qint64 SerialDeviceLink::write(const QByteArray& data) {
  if (!port_.isOpen() || gone_) return -1;
  // The write only fills Qt's buffer; a device that is gone shows in the flush.
  const qint64 n = port_.write(data);
  if (n > 0) port_.flush();
  return failed() ? -1 : n;
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

std::unique_ptr<DeviceLink> openSerialDevice(const SerialParams& params,
                                             std::function<void()> bytesArrived) {
  auto link = std::make_unique<SerialDeviceLink>(params, std::move(bytesArrived));
  if (!link->isOpen()) return nullptr;
  return link;
}

}  // namespace kolvane
