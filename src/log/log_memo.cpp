#include "log/log_memo.h"

#include "log/log_writer.h"

namespace kolvane {

QString shownText(const QString& line) {
  QString out;
  out.reserve(line.size());
  for (const QChar c : line) {
    if (c.unicode() < 32) {
      out += QLatin1Char('<') + QString::number(c.unicode()) + QLatin1Char('>');
    } else {
      out += c;
    }
  }
  return out;
}

int MemoLineLimit(int meMaxLi) {
  constexpr int kUnlimited = 10000;
  return meMaxLi > 0 ? meMaxLi : kUnlimited;
}

bool LogMemo::showPendingLines(LogWriter& writer, int meMaxLi) {
  bool moved = false;
  while (const std::optional<QString> line = writer.takePendingLine()) {
    lines_.append(shownText(*line));
    ++added_;
    moved = true;
  }
  trim(meMaxLi);
  return moved;
}

bool LogMemo::trim(int meMaxLi) {
  const qsizetype over = lines_.size() - MemoLineLimit(meMaxLi);
  if (over <= 0) return false;
  lines_.remove(0, over);
  dropped_ += static_cast<std::uint64_t>(over);
  return true;
}

}  // namespace kolvane
