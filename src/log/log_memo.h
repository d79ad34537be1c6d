#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

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

  void clear() {
    dropped_ += static_cast<std::uint64_t>(lines_.size());
    lines_.clear();
  }
  const QStringList& lines() const { return lines_; }
  qsizetype lineCount() const { return lines_.size(); }
  // Lines ever added and ever dropped from the top, so a display can follow by difference.
  std::uint64_t addedCount() const { return added_; }
  std::uint64_t droppedCount() const { return dropped_; }

 private:
  QStringList lines_;
  std::uint64_t added_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace kolvane
