#include "modemsim/file_tail.h"

#include <QFile>

namespace kolvane::modemsim {

QStringList FileTail::readNewLines() {
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return {};
  if (file.size() < position_) {
    position_ = 0;
    partial_.clear();
  }
  if (!file.seek(position_)) return {};
  const QByteArray added = file.readAll();
  position_ += added.size();
  partial_ += added;

  QStringList lines;
  qsizetype end = 0;
  while ((end = partial_.indexOf('\n')) >= 0) {
    QByteArray line = partial_.left(end);
    partial_.remove(0, end + 1);
    if (line.endsWith('\r')) line.chop(1);
    if (!line.isEmpty()) lines.append(QString::fromUtf8(line));
  }
  return lines;
}

}  // namespace kolvane::modemsim
