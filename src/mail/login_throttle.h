#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <map>

#include "platform/clock.h"

class QObject;

namespace kolvane {

class GatewayContext;

// Slows down password guessing: after three wrong logins from one address within a minute,
// that address's next login answers wait 2 s, doubling with every further wrong one up to
// 60 s. A right login or a quiet minute forgets the address. At most kMax addresses are kept;
// the one quiet longest makes room.
class LoginThrottle {
 public:
  static constexpr std::size_t kMax = 1000;
  static constexpr Tick kWindowMs = 60'000;
  static constexpr Tick kFirstDelayMs = 2'000;
  static constexpr Tick kMaxDelayMs = 60'000;

  // A login from address was checked: how long its answer waits (0: it leaves at once), by
  // what the failures before it earned.
  struct Answer {
    Tick delayMs = 0;
    bool logDelay = false;  // the address earned a delay: log it, once a minute
    int failures = 0;       // wrong logins of the address within the minute
    Tick nextDelayMs = 0;   // what its next answer waits
  };
  Answer checked(const QString& address, bool ok, Tick now);

  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    int failures = 0;
    Tick lastFailure = 0;
    Tick delayMs = 0;
    Tick loggedAt = 0;
    bool logged = false;
  };
  void makeRoom(Tick now);

  std::map<QString, Entry> entries_;
};

// A login of a mail server (protocol "SMTP" or "POP3") from address was checked: the delay its
// answer waits, the delay it earned logged once a minute.
Tick ThrottledLogin(GatewayContext& g, LoginThrottle& throttle, const QString& protocol,
                    const QString& address, bool ok);

// Calls done on the loop of owner once the gateway's clock reaches due; a timer that fires a
// moment early waits on.
void CallAtTick(QObject* owner, const GatewayContext& g, Tick due, std::function<void()> done);

}  // namespace kolvane
