#pragma once

#include <QSocketNotifier>
#include <memory>

#include "endpoint.h"

namespace kolvane::modemsim {

// A pseudo-terminal in raw mode; the gateway opens its slave side through a stable symbolic
// link. A dropped link is a new pseudo-terminal behind the same link.
class PtyEndpoint final : public Endpoint {
  Q_OBJECT

 public:
  // label names the simulator in the ready line.
  explicit PtyEndpoint(QString link, QString label = QStringLiteral("modemsim"),
                       QObject* parent = nullptr);
  // Each open of the terminal by someone else is a new connection, as the port of a device
  // opened by a program; otherwise the link is one connection from the start.
  void setConnectionPerOpen(bool on) { connectionPerOpen_ = on; }
  ~PtyEndpoint() override;
  bool open(QString* error) override;
  void write(const QByteArray& bytes) override;
  void drop() override;
  void unplug() override;
  void replug() override;

 private:
  void readMaster();
  void readOpens();
  void closePty();

  QString link_;
  QString label_;
  int master_ = -1;
  int keeper_ = -1;  // our own slave descriptor: the master never sees a hang-up
  std::unique_ptr<QSocketNotifier> notifier_;
  bool connectionPerOpen_ = false;
  int opens_ = -1;  // inotify: opens of the terminal
  std::unique_ptr<QSocketNotifier> opensNotifier_;
};

}  // namespace kolvane::modemsim
