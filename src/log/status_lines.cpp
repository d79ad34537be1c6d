#include "log/status_lines.h"

namespace kolvane {

bool StatusLines::shows(const QString& kind, const QString& state, Tick now) {
  const auto it = shown_.find(kind);
  // Unsigned, so the tick's wrap after 49.7 days does not matter.
  if (it != shown_.end() && it->second.state == state && now - it->second.at < kRepeatMs) {
    return false;
  }
  shown_[kind] = {state, now};
  return true;
}

void StatusLines::forget(const QString& prefix) {
  std::erase_if(shown_, [&prefix](const auto& entry) { return entry.first.startsWith(prefix); });
}

}  // namespace kolvane
