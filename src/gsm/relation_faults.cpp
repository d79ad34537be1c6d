#include "gsm/relation_faults.h"

#include <algorithm>
#include <utility>

namespace kolvane {

bool RelationFaults::first(const QString& kind) {
  const auto it =
      std::find_if(counts_.begin(), counts_.end(), [&](const Count& c) { return c.kind == kind; });
  if (it != counts_.end()) {
    ++it->n;
    return false;
  }
  counts_.append({kind, 1});
  return true;
}

QStringList RelationFaults::takeSummary() {
  QStringList lines;
  for (const Count& c : std::exchange(counts_, {})) {
    if (c.n > 1) lines << QStringLiteral("%1 - %2 times in this relation").arg(c.kind).arg(c.n);
  }
  return lines;
}

}  // namespace kolvane
