#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace kolvane {

// The last log lines kept for the exception report: 50 slots and a next-slot number 1..50
// (51 right after slot 50 was filled, until the next line wraps it to 1).
class HistoryRing {
 public:
  static constexpr int kSlots = 50;

  void put(const QString& line);
  // Slot 1..kSlots; empty when never filled or out of range.
  QString slot(int number) const;
  int nextSlot() const { return next_; }
  // Oldest first, empty slots skipped.
  QStringList inReportOrder() const;

 private:
  std::array<QString, kSlots> slots_;
  int next_ = 0;
};

}  // namespace kolvane
