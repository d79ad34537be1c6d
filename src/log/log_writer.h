#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "log/history_ring.h"
#include "log/log_file.h"
#include "log/log_options.h"
#include "log/status_lines.h"
#include "platform/clock.h"

namespace kolvane {

// The one log writer of the gateway. Every member is safe to call from any thread; one lock
// covers a whole call, so lines are never lost or interleaved.
class LogWriter {
 public:
  // Receives every shown line (time stamp, two spaces, text) in order, under the writer's lock:
  // it must not call back into the writer.
  using EchoSink = std::function<void(const QString& line)>;

  // programDir is the program folder; a missing trailing "/" is added.
  LogWriter(const Clock& clock, QString programDir);

  // Receives the text of every shown line, under the writer's lock like the echo sink.
  using Watch = std::function<void(const QString& text)>;

  void configure(const LogOptions& options);
  LogOptions options() const;
  void setEchoSink(EchoSink sink);
  void setWatch(Watch watch);

  // show = false keeps the line only in the history ring (when ExceptReport is on).
  void Log(bool show, const QString& text);
  // 8-bit text in the machine's code page, which is UTF-8 here.
  void Log8(bool show, const QByteArray& text);
  // A diagnostic trace, shown only with Debug on.
  void debug(const QString& text);
  // A status line of a kind, its text being the state: shown when the state changed, else at
  // most once an hour; with Debug on always.
  void status(const QString& kind, const QString& text);
  // The state of the kinds beginning with prefix ended: their next status lines are shown.
  void statusEnded(const QString& prefix);

  // Lines logged but not yet taken into the log memo, oldest first.
  std::optional<QString> takePendingLine();
  std::size_t pendingCount() const;
  void clearPending();

  HistoryRing history() const;
  // The history as the exception report prints it: oldest first, empty slots skipped.
  QStringList historyInReportOrder() const;

  // Start-up, after the settings are loaded: log-file generation and report path.
  void prepareLogFiles();
  QString logFileName() const;
  QString exceptReportPath() const;
  QString programDir() const { return dir_; }

 private:
  void logLocked(bool show, const QString& text);

  const Clock& clock_;
  const QString dir_;
  const QChar timeSeparator_;
  mutable std::mutex mutex_;
  LogOptions options_;
  EchoSink echo_;
  Watch watch_;
  std::deque<QString> pending_;
  HistoryRing history_;
  StatusLines status_;
  LogFile file_;
  QString exceptReportPath_;
};

}  // namespace kolvane
