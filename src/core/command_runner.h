#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/ext_app_run.h"

namespace kolvane {

// The queue of command lines and the worker thread that starts them, so that the event loop
// never waits for a program to start. The worker exists only while the queue holds records;
// the owner learns on its own thread that results wait.
class CommandRunner {
 public:
  // Starts one record's command on the worker thread and returns its result code; a waited
  // command gives up its wait when `stopping` is set (the runner is going).
  using Launch = std::function<std::int32_t(ExtAppRunRec&, const std::atomic<bool>& stopping)>;
  // Called on the thread that made the runner once a worker has ended with results.
  using ResultsDue = std::function<void()>;

  CommandRunner(Launch launch, ResultsDue resultsDue);
  ~CommandRunner();
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // Queues a record; true when a new worker was started for it.
  bool append(ExtAppRunRec rec);
  // The records run since the last call, in the order they ran; they leave the queue, so a
  // record is never dropped before its result has been taken.
  std::vector<ExtAppRunRec> takeFinished();
  bool workerActive() const;
  // Waits until the worker has run the whole queue and ended.
  void waitUntilIdle();

 private:
  void work();

  Launch launch_;
  ResultsDue resultsDue_;
  mutable std::mutex mutex_;
  std::deque<ExtAppRunRec> pending_;
  std::vector<ExtAppRunRec> finished_;
  bool workerActive_ = false;
  std::atomic<bool> stopping_ = false;
  std::thread worker_;  // touched by the owner's thread only
  QObject context_;     // lives on the owner's thread; receives the end notice
};

}  // namespace kolvane
