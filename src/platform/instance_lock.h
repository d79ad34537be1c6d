#pragma once

#include <QFile>
#include <QString>
#include <optional>

#include "platform/file_lock.h"

namespace kolvane {

// Marks one running gateway per program folder. The lock file lives in the system's runtime
// folder, keyed by the folder's path, and is released by the system when the process ends, so
// a crash leaves nothing stale behind.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& programDir);
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False when another process holds the lock for the same folder.
  bool tryAcquire();
  bool held() const { return lock_.has_value(); }
  const QString& lockPath() const { return path_; }

 private:
  QString path_;
  QFile file_;
  std::optional<FileLock> lock_;
};

}  // namespace kolvane
