#pragma once

#include <QFile>
#include <QString>
#include <optional>

#include "platform/file_lock.h"

namespace kolvane {

// A file opened without sharing: while one ExclusiveFile holds it, every other attempt to open
// it as ExclusiveFile (in this or another process) fails at once, like a sharing violation.
// The lock is released when the object goes away.
class ExclusiveFile {
 public:
  enum class OpenError { None, NotFound, Busy, Failed };

  explicit ExclusiveFile(const QString& path) : file_(path) {}
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;
  ~ExclusiveFile() { close(); }

  // mode as for QFile::open (ReadOnly, WriteOnly|Append, ReadWrite, ...).
  bool open(QIODevice::OpenMode mode);
  void close();
  OpenError error() const { return error_; }
  QFile& file() { return file_; }
  bool isOpen() const { return file_.isOpen(); }

 private:
  QFile file_;
  std::optional<FileLock> lock_;
  OpenError error_ = OpenError::None;
};

// Flushes the file and asks the system to put its bytes on the disk.
bool SyncToDisk(QFile& file);
// Puts the entries of the file's folder on the disk: a rename or a new file in it survives a
// power cut only then.
bool SyncFolderOf(const QString& path);
// Renames from over to, replacing it in one step, and syncs their folder; false when the
// rename fails.
bool ReplaceSynced(const QString& from, const QString& to);

}  // namespace kolvane
