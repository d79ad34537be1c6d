#include "platform/exclusive_file.h"
#include "platform/private_files.h"

#include <unistd.h>

namespace kolvane {

bool ExclusiveFile::open(QIODevice::OpenMode mode) {
  close();
  const bool creates = mode & (QIODevice::WriteOnly | QIODevice::Append);
  if (!creates && !file_.exists()) {
    error_ = OpenError::NotFound;
    return false;
  }
  // Truncation waits until the lock is ours, so a busy file is never emptied.
  const bool truncate = mode & QIODevice::Truncate;
  QIODevice::OpenMode openMode = mode & ~QIODevice::Truncate;
  // QFile empties a plain WriteOnly file on open; opening it read-write keeps the content.
  if ((openMode & QIODevice::WriteOnly) && !(openMode & QIODevice::Append)) {
    openMode |= QIODevice::ReadOnly;
  }
  if (!file_.open(openMode, kPrivateFile)) {
    error_ = OpenError::Failed;
    return false;
  }
  FileLock lock = FileLock::tryLock(file_.handle(), FileLock::Exclusive);
  if (!lock.held()) {
    file_.close();
    error_ = OpenError::Busy;
    return false;
  }
  lock_.emplace(std::move(lock));
  if (truncate && !file_.resize(0)) {
    close();
    error_ = OpenError::Failed;
    return false;
  }
  error_ = OpenError::None;
  return true;
}

void ExclusiveFile::close() {
  if (file_.isOpen()) file_.flush();
  lock_.reset();
  file_.close();
}

bool SyncToDisk(QFile& file) {
  return file.flush() && ::fsync(file.handle()) == 0;
}

}  // namespace kolvane
