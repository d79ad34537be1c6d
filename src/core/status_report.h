#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <mutex>

#include "platform/clock.h"

namespace kolvane {

class Gateway;

// What the status tells beyond the gateway's state: the moment of the start, the day's
// counters summed over the run, and the last error and signal quality the log showed.
class StatusNotes {
 public:
  // The start of the run, with the day's counters as loaded.
  void begin(DateTime started, const std::array<int, 4>& counters);
  // A shown log line (any thread; called under the log writer's lock).
  void noteLine(const QString& text, DateTime at);
  // The counters as they are now; called before the day's counters are reset too.
  void foldCounters(const std::array<int, 4>& counters);

  DateTime started() const { return started_; }
  std::array<int, 4> sinceStart() const { return total_; }
  // The text and moment of the last error and signal quality line; empty text for none.
  struct Line {
    QString text;
    DateTime at = 0;
  };
  Line lastError() const;
  Line lastSignal() const;

 private:
  DateTime started_ = 0;
  std::array<int, 4> seen_{};
  std::array<int, 4> total_{};
  mutable std::mutex mutex_;  // the lines come from any thread that logs
  Line error_;
  Line signal_;
};

// True for a log line that reports an error or a failure.
bool isErrorLine(const QString& text);

// The state of the running gateway as "key: value" lines, printed by --status. Each part of
// the gateway adds its lines in one function of the report.
QStringList statusLines(Gateway& gateway);

}  // namespace kolvane
