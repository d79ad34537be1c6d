#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "platform/clock.h"

namespace kolvane {

// Failures of one kind in a row (a device gone, a modem that never answers). An office server
// may meet one for days: it is logged when it begins, then once an hour with its count.
struct OutageCount {
  std::uint32_t failures = 0;  // in a row
  std::uint32_t unlogged = 0;  // since the last line
  Tick logAt = 0;              // when the next line is due

  // One more failure: the line to log now, if one is due.
  std::optional<QString> failed(const QString& text, Tick now);
  // The failure just counted began the outage.
  bool began() const { return failures == 1; }
};

}  // namespace kolvane
