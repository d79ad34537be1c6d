#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

#include "gate_device.h"
#include "modemsim/endpoint.h"
#include "modemsim/file_tail.h"
#include "options.h"

namespace kolvane::gatesim {

// Runs the simulated device on the event loop: bytes between the endpoint and the device, the
// watched files, and the jobs file.
class SimRunner final : public QObject {
  Q_OBJECT

 public:
  SimRunner(RunOptions options, std::unique_ptr<modemsim::Endpoint> endpoint);
  bool start(QString* error);

 private:
  void onReceived(const QByteArray& bytes);
  void pollFiles();
  void writeRecords();
  void trace(const QString& what, const QByteArray& bytes = {}) const;

  RunOptions options_;
  GateDevice device_;
  std::unique_ptr<modemsim::Endpoint> endpoint_;
  QTimer fileTimer_;
  std::optional<modemsim::FileTail> injectFile_;
  std::optional<modemsim::FileTail> controlFile_;
};

}  // namespace kolvane::gatesim
