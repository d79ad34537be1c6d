#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>

namespace kolvane {

// The demo: a working folder whose settings point the TCP link at the simulated modem on
// loopback, with unprivileged mail ports, a start at once and a relation every 15 s.
inline constexpr char kDemoFolder[] = "kolvane-demo";
inline constexpr int kDemoSmtpPort = 2525;
inline constexpr int kDemoPop3Port = 2110;
inline constexpr int kDemoIntervalOnLineMs = 15000;

// The simulated device of the demo: the AT modem, or an ISDN/LAN gateway device.
enum class DemoDevice { Modem, Gate };

// Writes the demo's keys into the folder's "Kolvane.ini" (created when missing); other keys
// stay as the user left them. False with *error set when the file cannot be written.
bool prepareDemoFolder(const QString& folder, quint16 modemPort, QString* error,
                       DemoDevice device = DemoDevice::Modem);

// The simulated modem run as a child process beside the gateway: it listens on a free
// loopback port and answers every SMS sent to it. Its sent SMS and an inject file for SMS to
// receive live in the demo folder. The child is stopped with this object.
class DemoModem : public QObject {
  Q_OBJECT

 public:
  DemoModem(QString program, QString folder, QObject* parent = nullptr,
            DemoDevice device = DemoDevice::Modem);
  ~DemoModem() override;

  void start();
  static QString injectFile(const QString& folder, DemoDevice device = DemoDevice::Modem);
  static QString sentFile(const QString& folder, DemoDevice device = DemoDevice::Modem);

 Q_SIGNALS:
  // The modem listens on 127.0.0.1:port.
  void ready(quint16 port);
  void failed(const QString& why);

 private:
  void readOutput();

  QString program_;
  QString folder_;
  DemoDevice device_;
  QProcess process_;
  QByteArray output_;
  bool announced_ = false;
};

}  // namespace kolvane
