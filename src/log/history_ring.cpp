#include "log/history_ring.h"

namespace kolvane {

void HistoryRing::put(const QString& line) {
  if (next_ < 1 || next_ > kSlots) next_ = 1;
  slots_[next_ - 1] = line;
  ++next_;
}

QString HistoryRing::slot(int number) const {
  if (number < 1 || number > kSlots) return {};
  return slots_[number - 1];
}

QStringList HistoryRing::inReportOrder() const {
  // A number outside 1..50 means the ring restarts at slot 1, which then holds the oldest line.
  const int start = (next_ < 1 || next_ > kSlots) ? 1 : next_;
  QStringList out;
  for (int i = 0; i < kSlots; ++i) {
    const QString& line = slots_[(start - 1 + i) % kSlots];
    if (!line.isEmpty()) out << line;
  }
  return out;
}

}  // namespace kolvane
