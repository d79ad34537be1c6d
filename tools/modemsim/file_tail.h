#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kolvane::modemsim {

// Follows a file that others append lines to: each call returns the complete lines added since
// the last one. A file that shrank was truncated and is read again from its start.
class FileTail {
 public:
  explicit FileTail(QString path) : path_(std::move(path)) {}
  const QString& path() const { return path_; }
  // Lines are UTF-8; line ends (LF or CR LF) are removed, empty lines skipped.
  QStringList readNewLines();

 private:
  QString path_;
  qint64 position_ = 0;
  QByteArray partial_;  // a last line still without its line end
};

}  // namespace kolvane::modemsim
