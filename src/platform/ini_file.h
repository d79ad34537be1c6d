#pragma once

#include <QString>
#include <functional>

#include "platform/ini_text.h"

namespace kolvane {

// An INI file on disk. Every read looks at the file as it is now and every write reaches the
// file at once, under a lock on its folder, so a second program instance can add keys while the
// first runs. A write goes to a temporary file that is put on the disk and then renamed over the
// old one: a full disk or a power cut leaves the old file whole. Lines the program does not
// touch keep their bytes. A file that is no INI text (UTF-16, binary) reads as empty and is
// never written over.
class IniFile {
 public:
  enum class Encoding { Utf8, Utf16Le };
  using FailureLog = std::function<void(const QString&)>;

  explicit IniFile(QString path, Encoding encoding = Encoding::Utf8);

  const QString& path() const { return path_; }
  bool exists() const;
  // Whether a write can reach the file: a missing file in a writable folder, or a file whose
  // mode allows writing. A read-only file is never replaced nor has its mode changed.
  bool writable() const;
  // True when the file exists but holds no INI text.
  bool unreadable() const;
  // The whole file as it is now (empty when missing or unreadable).
  IniText read() const;
  QString value(const QString& section, const QString& key, const QString& fallback = {}) const;

  bool setValue(const QString& section, const QString& key, const QString& value);
  bool removeKey(const QString& section, const QString& key);
  bool eraseSection(const QString& section);
  // Several edits in one read-modify-write under one lock. False (and a line to the failure
  // log) when the file cannot be written; it is then left as it was.
  bool update(const std::function<void(IniText&)>& edit);
  void setFailureLog(FailureLog log) { failureLog_ = std::move(log); }
  // Told once when a write finds the file read-only; the write is then left out.
  void setReadOnlyNotice(std::function<void()> notice) { readOnlyNotice_ = std::move(notice); }
  // Tells the notice now when the file is read-only (at start-up), so a write does not again.
  void noticeIfReadOnly();

 private:
  QString path_;
  Encoding encoding_;
  FailureLog failureLog_;
  std::function<void()> readOnlyNotice_;
  bool binaryReported_ = false;
  bool readOnlyReported_ = false;
};

// True for bytes that no editor saves as INI text: NUL bytes (UTF-16 among them), a UTF-16
// byte-order mark, or many other control bytes.
bool looksBinary(const QByteArray& bytes);

}  // namespace kolvane
