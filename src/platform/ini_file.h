#pragma once

#include <QString>
#include <functional>

#include "platform/ini_text.h"

namespace kolvane {

// An INI file on disk. Every read looks at the file as it is now and every write reaches the
// file at once, under an exclusive lock, so a second program instance can add keys while the
// first runs. Lines the program does not touch are kept as they are.
class IniFile {
 public:
  enum class Encoding { Utf8, Utf16Le };

  explicit IniFile(QString path, Encoding encoding = Encoding::Utf8);

  const QString& path() const { return path_; }
  bool exists() const;
  // The whole file as it is now (empty when missing or unreadable).
  IniText read() const;
  QString value(const QString& section, const QString& key, const QString& fallback = {}) const;

  bool setValue(const QString& section, const QString& key, const QString& value);
  bool removeKey(const QString& section, const QString& key);
  bool eraseSection(const QString& section);
  // Several edits in one read-modify-write under one lock.
  bool update(const std::function<void(IniText&)>& edit);

 private:
  QString path_;
  Encoding encoding_;
};

}  // namespace kolvane
