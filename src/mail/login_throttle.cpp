#include "mail/login_throttle.h"

#include <algorithm>

namespace kolvane {

LoginThrottle::Answer LoginThrottle::checked(const QString& address, bool ok, Tick now) {
  auto it = entries_.find(address);
  if (it != entries_.end() && now - it->second.lastFailure >= kWindowMs) {
    entries_.erase(it);  // a quiet minute
    it = entries_.end();
  }
  if (it == entries_.end()) {
    if (ok) return {};
    makeRoom(now);
    it = entries_.emplace(address, Entry{}).first;
  }
  Entry& e = it->second;
  // The answer waits by what the failures before it earned.
  Answer answer{e.delayMs, false, e.failures, 0};
  if (ok) {
    entries_.erase(it);
    return answer;
  }
  ++e.failures;
  e.lastFailure = now;
  answer.failures = e.failures;
  if (e.failures >= 3) {
    e.delayMs = e.delayMs == 0 ? kFirstDelayMs : std::min(e.delayMs * 2, kMaxDelayMs);
    if (!e.logged || now - e.loggedAt >= kWindowMs) {
      e.logged = true;
      e.loggedAt = now;
      answer.logDelay = true;
    }
  }
  answer.nextDelayMs = e.delayMs;
  return answer;
}

void LoginThrottle::makeRoom(Tick now) {
  while (entries_.size() >= kMax) {
    const auto quietest =
        std::max_element(entries_.begin(), entries_.end(), [now](const auto& a, const auto& b) {
          return now - a.second.lastFailure < now - b.second.lastFailure;
        });
    entries_.erase(quietest);
  }
}

}  // namespace kolvane
