#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace kolvane {

class LogWriter;

// One log line as the log window shows it: characters below 32 become "<code>" ("<13>").
QString shownText(const QString& line);

// The most lines the log window keeps: MeMaxLi, and for 0 ("no limit") 10,000, so a run of
// months never fills the memory.
int MemoLineLimit(int meMaxLi);

// The lines of the log window, owned by the gateway; the window only displays them. Touched by
// the main cycle's thread only.
class LogMemo {
 public:
  // Moves the pending lines of the writer into the memo, which then keeps its last
  // MemoLineLimit(meMaxLi) lines; true when a line moved.
  bool showPendingLines(LogWriter& writer, int meMaxLi);
  // Drops the first lines beyond MemoLineLimit(meMaxLi); true when a line was dropped.
  bool trim(int meMaxLi);

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
