#include "gsm/outage_count.h"

namespace kolvane {

namespace {

constexpr Tick kOutageLogMs = 60 * 60 * 1000;

}  // namespace

std::optional<QString> OutageCount::failed(const QString& text, Tick now) {
  ++unlogged;
  QString line;
  if (++failures == 1)
    line = text;
  else if (tickDue(logAt, now))
    line = text + QStringLiteral(" - %1 times in the last hour").arg(unlogged);
  else
    return std::nullopt;
  unlogged = 0;
  logAt = tickAfter(now, kOutageLogMs);
  return line;
}

}  // namespace kolvane
