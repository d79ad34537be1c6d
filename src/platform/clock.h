#pragma once

#include <QDateTime>
#include <cstdint>

namespace kolvane {

// 32-bit millisecond tick, compared unsigned; all bits set means "none"/"never".
using Tick = std::uint32_t;
inline constexpr Tick kNoTick = 0xFFFFFFFFu;

// Date-time as days since 30 December 1899 (local time), the fraction being the time of day.
using DateTime = double;

// The one source of time for the gateway. Tests use ManualClock and advance it themselves.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Tick tick() const = 0;
  virtual DateTime now() const = 0;
};

class SystemClock final : public Clock {
 public:
  Tick tick() const override;
  DateTime now() const override;
};

class ManualClock final : public Clock {
 public:
  explicit ManualClock(Tick tick = 1000, DateTime now = 46000.5) : tick_(tick), now_(now) {}
  Tick tick() const override { return tick_; }
  DateTime now() const override { return now_; }
  void setTick(Tick t) { tick_ = t; }
  void setNow(DateTime dt) { now_ = dt; }
  void setNow(const QDateTime& dt);
  // Moves both the tick and the date-time forward.
  void advance(std::uint32_t ms);

 private:
  Tick tick_;
  DateTime now_;
};

// Conversions between QDateTime (local time) and the day-count form.
DateTime toDateTime(const QDateTime& dt);
QDateTime fromDateTime(DateTime dt);
// Whole-day part, used for "same calendar day" comparisons.
long long dayOf(DateTime dt);

}  // namespace kolvane
