#pragma once

#include <QString>

#include "log/log_options.h"
#include "platform/clock.h"

namespace kolvane {

// The rotating log file "Log" + date + number + ".txt" in the program folder. Not synchronised:
// the log writer calls it under its lock.
class LogFile {
 public:
  LogFile(const Clock& clock, QString programDir);

  // Start-up: retire "Log.txt" to "Log.old" and choose the first file name. Does nothing with
  // LogFiOn off, so that turning it on later takes effect only at the next start.
  void prepare(const LogOptions& options);
  // Appends line + CR LF as UTF-8; a line that cannot be written is lost.
  void append(const QString& line, const LogOptions& options);
  // Full path of the file the next line goes to; empty before prepare().
  QString currentName() const { return name_; }

 private:
  void makeName(const LogOptions& options);
  qint64 highestNumberOnDisk(const QString& date) const;

  const Clock& clock_;
  QString dir_;
  QString name_;
  QString lastDate_;
  qint64 number_ = 0;
};

}  // namespace kolvane
