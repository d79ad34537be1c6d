#include "platform/clock.h"

#include <QElapsedTimer>
#include <cmath>

namespace kolvane {

namespace {
// Constant-initialised: tests build dates at namespace scope before this file is initialised.
constexpr QDate kEpoch = QDate::fromJulianDay(2415019);  // 30 December 1899
constexpr double kMsPerDay = 86400000.0;
constexpr qint64 kUnixEpochDay = 25569;  // 1 January 1970
}  // namespace

Tick SystemClock::tick() const {
  static const QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  // Start above zero so that 0 stays free as an "off" marker.
  return static_cast<Tick>(static_cast<std::uint64_t>(timer.elapsed() + 1000) & 0xFFFFFFFFu);
}

DateTime SystemClock::now() const {
  const qint64 utcMs = QDateTime::currentMSecsSinceEpoch();
  const qint64 minute = utcMs / 60000;
  qint64 offsetMs = 0;
  {
    const std::lock_guard lock(offsetMutex_);
    if (minute != offsetMinute_) {
      offsetMinute_ = minute;
      offsetMs_ = QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc() * 1000LL;
    }
    offsetMs = offsetMs_;
  }
  const qint64 localMs = utcMs + offsetMs;
  const qint64 days = localMs >= 0 ? localMs / 86400000LL : (localMs - 86399999LL) / 86400000LL;
  const qint64 msOfDay = localMs - days * 86400000LL;
  return static_cast<double>(kUnixEpochDay + days) + static_cast<double>(msOfDay) / kMsPerDay;
}

void ManualClock::setNow(const QDateTime& dt) {
  now_ = toDateTime(dt);
}

void ManualClock::advance(std::uint32_t ms) {
  tick_ += ms;
  now_ += ms / kMsPerDay;
}

DateTime toDateTime(const QDateTime& dt) {
  const QDateTime local = dt.toLocalTime();
  const double days = static_cast<double>(kEpoch.daysTo(local.date()));
  const double msOfDay = local.time().msecsSinceStartOfDay();
  return days + msOfDay / kMsPerDay;
}

QDateTime fromDateTime(DateTime dt) {
  const double whole = std::floor(dt);
  long long ms = std::llround((dt - whole) * kMsPerDay);
  long long days = static_cast<long long>(whole);
  if (ms >= 86400000LL) {
    ms -= 86400000LL;
    ++days;
  }
  return QDateTime(kEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

long long dayOf(DateTime dt) {
  return static_cast<long long>(std::floor(dt));
}

}  // namespace kolvane
