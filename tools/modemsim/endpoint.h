#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kolvane::modemsim {

// Where the simulated modem meets the gateway: a TCP port or a pseudo-terminal.
class Endpoint : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  virtual bool open(QString* error) = 0;
  virtual void write(const QByteArray& bytes) = 0;
  // Ends the current link (the dropped-connection fault).
  virtual void drop() = 0;
  // The device goes away until replug() (an unplugged cable); a TCP link is only dropped.
  virtual void unplug() { drop(); }
  virtual void replug() {}

 Q_SIGNALS:
  void received(const QByteArray& bytes);
  // A new link: per-connection state of the modem starts over.
  void connected();
  // A line for stdout: where the modem can be reached.
  void announced(const QString& line);
};

}  // namespace kolvane::modemsim
