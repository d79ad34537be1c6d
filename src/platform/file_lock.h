#pragma once

namespace kolvane {

// An advisory whole-file lock held for the lifetime of the object (flock). Every part of the
// program that opens a shared file takes one, which gives the "no sharing" rule of the stores.
class FileLock {
 public:
  enum Mode { Shared, Exclusive };
  // Blocks until the lock is granted.
  FileLock(int fd, Mode mode);
  // Does not wait; held() tells whether the lock was granted.
  static FileLock tryLock(int fd, Mode mode);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  FileLock() = default;
  int fd_ = -1;
};

}  // namespace kolvane
