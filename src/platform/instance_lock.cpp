#include "platform/instance_lock.h"

#include <QDir>

#include "platform/private_files.h"

namespace kolvane {

InstanceLock::InstanceLock(const QString& programDir)
    : path_(QDir(programDir).filePath(QStringLiteral("Kolvane.lock"))), file_(path_) {}

bool InstanceLock::tryAcquire() {
  if (lock_) return true;
  openFailed_ = false;
  if (!file_.isOpen() && !file_.open(QIODevice::ReadWrite, kPrivateFile)) {
    openFailed_ = true;
    return false;
  }
  FileLock lock = FileLock::tryLock(file_.handle(), FileLock::Exclusive);
  if (!lock.held()) {
    file_.close();
    return false;
  }
  lock_.emplace(std::move(lock));
  return true;
}

}  // namespace kolvane
