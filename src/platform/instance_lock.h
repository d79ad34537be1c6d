#pragma once

#include <QFile>
#include <QString>
#include <optional>

#include "platform/file_lock.h"

namespace kolvane {

// Marks one running gateway per program folder: the lock file lives in the folder itself, so
// every process of every user that works on the folder meets the same lock. The system releases
// the lock when the process ends, so a crash leaves nothing stale behind.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& programDir);
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False when another process holds the lock for the same folder, or the lock file cannot be
  // opened (openFailed() then tells so).
  bool tryAcquire();
  bool held() const { return lock_.has_value(); }
  bool openFailed() const { return openFailed_; }
  const QString& lockPath() const { return path_; }

 private:
  QString path_;
  QFile file_;
  std::optional<FileLock> lock_;
  bool openFailed_ = false;
};

}  // namespace kolvane
