#include "core/command_runner.h"

namespace kolvane {

CommandRunner::CommandRunner(Launch launch, ResultsDue resultsDue)
    : launch_(std::move(launch)), resultsDue_(std::move(resultsDue)) {}

CommandRunner::~CommandRunner() {
  stopping_ = true;
  waitUntilIdle();
}

bool CommandRunner::append(ExtAppRunRec rec) {
  std::lock_guard lock(mutex_);
  pending_.push_back(std::move(rec));
  if (workerActive_) return false;
  workerActive_ = true;
  // The previous worker has left its loop already; it only has to return.
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this] { work(); });
  return true;
}

std::vector<ExtAppRunRec> CommandRunner::takeFinished() {
  std::lock_guard lock(mutex_);
  return std::exchange(finished_, {});
}

bool CommandRunner::workerActive() const {
  std::lock_guard lock(mutex_);
  return workerActive_;
}

void CommandRunner::waitUntilIdle() {
  if (worker_.joinable()) worker_.join();
}

void CommandRunner::work() {
  bool ran = false;
  for (;;) {
    ExtAppRunRec rec;
    {
      std::lock_guard lock(mutex_);
      if (pending_.empty()) {
        workerActive_ = false;
        break;
      }
      rec = std::move(pending_.front());
      pending_.pop_front();
    }
    if (!rec.CmdLi.isEmpty()) {
      try {
        rec.RunErrCode = launch_(rec, stopping_);
      } catch (...) {
        rec.RunErrCode = kRunNotRun;
      }
    }
    rec.SaveStatus = true;
    ran = true;
    std::lock_guard lock(mutex_);
    finished_.push_back(std::move(rec));
  }
  if (ran) {
    QMetaObject::invokeMethod(
        &context_,
        [this] {
          if (resultsDue_) resultsDue_();
        },
        Qt::QueuedConnection);
  }
}

}  // namespace kolvane
