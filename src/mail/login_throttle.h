#pragma once

#include <QString>
#include <cstddef>
#include <map>

#include "platform/clock.h"

namespace kolvane {

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

}  // namespace kolvane
