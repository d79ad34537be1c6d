#include "mail/login_throttle.h"

#include <QTimer>
#include <algorithm>

#include "context/gateway_context.h"
#include "settings/catalogue.h"

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

Tick ThrottledLogin(GatewayContext& g, LoginThrottle& throttle, const QString& protocol,
                    const QString& address, bool ok) {
  const LoginThrottle::Answer answer = throttle.checked(address, ok, g.clock().tick());
  if (answer.logDelay) {
    g.Log(true, fillPlaceholders(g.Text(592), {protocol, QString::number(answer.failures), address,
                                               QString::number(answer.nextDelayMs / 1000)}));
  }
  return answer.delayMs;
}

void CallAtTick(QObject* owner, const GatewayContext& g, Tick due, std::function<void()> done) {
  const auto left = static_cast<std::int32_t>(due - g.clock().tick());
  if (left <= 0) {
    done();
    return;
  }
  QTimer::singleShot(left, Qt::PreciseTimer, owner,
                     [owner, &g, due, done = std::move(done)]() mutable {
                       CallAtTick(owner, g, due, std::move(done));
                     });
}

}  // namespace kolvane
