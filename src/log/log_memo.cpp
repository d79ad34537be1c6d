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

bool LogMemo::showPendingLine(LogWriter& writer) {
  const std::optional<QString> line = writer.takePendingLine();
  if (!line) return false;
  lines_.append(shownText(*line));
  ++added_;
  return true;
}

bool LogMemo::trim(int meMaxLi, bool relationOn) {
  if (meMaxLi <= 0 || relationOn || lines_.size() <= meMaxLi) return false;
  lines_.removeFirst();
  ++dropped_;
  return true;
}

}  // namespace kolvane
