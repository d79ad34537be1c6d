#include "platform/exclusive_file.h"
#include "platform/private_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFileInfo>
#include <cstdio>

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

bool SyncFolderOf(const QString& path) {
  const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool ReplaceSynced(const QString& from, const QString& to) {
  if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
    return false;
  SyncFolderOf(to);
  return true;
}

}  // namespace kolvane
