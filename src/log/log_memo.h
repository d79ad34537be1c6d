#pragma once

#include <QString>
#include <QStringList>

namespace kolvane {

class LogWriter;

// One log line as the log window shows it: characters below 32 become "<code>" ("<13>").
QString shownText(const QString& line);

// The lines of the log window, owned by the gateway; the window only displays them. Touched by
// the main cycle's thread only.
class LogMemo {
 public:
  // Moves at most one pending line of the writer into the memo; true when a line moved, so
  // that the caller can record the activity.
  bool showPendingLine(LogWriter& writer);
  // Drops the first line when meMaxLi > 0, no relation is open and more than meMaxLi lines are
  // held; true when a line was dropped.
  bool trim(int meMaxLi, bool relationOn);

  void clear() { lines_.clear(); }
  const QStringList& lines() const { return lines_; }
  qsizetype lineCount() const { return lines_.size(); }

 private:
  QStringList lines_;
};

}  // namespace kolvane
