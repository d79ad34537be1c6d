#pragma once

#include <QDateTime>
#include <cstdint>
#include <mutex>

namespace kolvane {

// 32-bit millisecond tick, compared unsigned; all bits set means "none"/"never".
using Tick = std::uint32_t;
inline constexpr Tick kNoTick = 0xFFFFFFFFu;

// Tick order that holds across the wrap after 49.7 days: a lies before b when b is less than
// half the range ahead of it.
inline constexpr bool tickBefore(Tick a, Tick b) {
  return static_cast<std::int32_t>(a - b) < 0;
}
// A deadline ms after t. Never 0 or kNoTick, which stand for "off" and "none".
inline constexpr Tick tickAfter(Tick t, std::uint32_t ms) {
  const Tick due = t + ms;
  return due == 0 || due == kNoTick ? 1 : due;
}
// A deadline that is set (neither "none" nor "off") and lies before now.
inline constexpr bool tickDue(Tick due, Tick now) {
  return due != kNoTick && due != 0 && tickBefore(due, now);
}

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
  // The local offset is looked up once a minute: offsets change only on whole minutes, and the
  // look-up reads the time-zone files.
  DateTime now() const override;

 private:
  mutable std::mutex offsetMutex_;
  mutable qint64 offsetMinute_ = -1;  // the UTC minute the offset was looked up for
  mutable qint64 offsetMs_ = 0;
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
