#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

#include "endpoint.h"
#include "modemsim/file_tail.h"
#include "modemsim/modem_sim.h"
#include "options.h"

namespace kolvane::modemsim {

// Runs the simulated modem on the event loop: bytes between the endpoint and the modem, answers
// released when due, the watched files, and the sent file.
class SimRunner final : public QObject {
  Q_OBJECT

 public:
  SimRunner(RunOptions options, std::unique_ptr<Endpoint> endpoint);
  bool start(QString* error);

 private:
  Tick tick() const { return static_cast<Tick>(clock_.elapsed()); }
  void onReceived(const QByteArray& bytes);
  void pump();
  void pollFiles();
  void controlLine(const QString& line);
  bool burst(const QString& line);
  void writeSent();
  void trace(const QString& what, const QByteArray& bytes = {}) const;

  RunOptions options_;
  ModemSim sim_;
  std::unique_ptr<Endpoint> endpoint_;
  QElapsedTimer clock_;
  QTimer pumpTimer_;
  QTimer fileTimer_;
  std::optional<FileTail> injectFile_;
  std::optional<FileTail> controlFile_;
  QString lastRejection_;
  bool unplugged_ = false;
  int bursts_ = 0;
};

}  // namespace kolvane::modemsim
