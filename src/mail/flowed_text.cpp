#include "mail/flowed_text.h"

namespace kolvane {

QList<QByteArray> TextLines(const QByteArray& text) {
  QList<QByteArray> lines = text.split('\n');
  for (QByteArray& line : lines) {
    if (line.endsWith('\r')) line.chop(1);
  }
  return lines;
}

QByteArray JoinFlowedLines(const QByteArray& text, bool delSp) {
  QList<QByteArray> out;
  bool open = false;  // the last line out goes on in the next one
  qsizetype openDepth = 0;
  for (const QByteArray& line : TextLines(text)) {
    qsizetype depth = 0;
    while (depth < line.size() && line[depth] == '>') ++depth;
    QByteArray content = line.mid(depth);
    const bool stuffed = content.startsWith(' ');
    if (stuffed) content.remove(0, 1);
    const bool flowed = content.endsWith(' ') && content != "-- ";
    if (flowed && delSp) content.chop(1);
    if (open && depth == openDepth) {
      out.back() += content;
    } else {
      // The quote marks stay as they came; space-stuffing of unquoted lines goes.
      out << (depth > 0 ? line.left(depth + (stuffed ? 1 : 0)) : QByteArray()) + content;
    }
    open = flowed;
    openDepth = depth;
  }
  return out.join("\r\n");
}

}  // namespace kolvane
