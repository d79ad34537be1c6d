#include "platform/file_lock.h"

#include <sys/file.h>

#include <cerrno>
#include <utility>

namespace kolvane {

namespace {
int op(FileLock::Mode mode) { return mode == FileLock::Exclusive ? LOCK_EX : LOCK_SH; }
}  // namespace

FileLock::FileLock(int fd, Mode mode) {
  if (fd < 0) return;
  int rc;
  do {
    rc = ::flock(fd, op(mode));
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) fd_ = fd;
}

FileLock FileLock::tryLock(int fd, Mode mode) {
  FileLock lock;
  if (fd >= 0 && ::flock(fd, op(mode) | LOCK_NB) == 0) lock.fd_ = fd;
  return lock;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

}  // namespace kolvane
