#include "mail/tls_failures.h"

#include <iterator>

namespace kolvane {

bool TlsFailures::logs(const QString& address, Tick now) {
  // Addresses quiet for an hour are forgotten, so the map stays as small as the LAN.
  for (auto it = loggedAt_.begin(); it != loggedAt_.end();) {
    it = now - it->second >= kRepeatMs ? loggedAt_.erase(it) : std::next(it);
  }
  return loggedAt_.emplace(address, now).second;
}

}  // namespace kolvane
