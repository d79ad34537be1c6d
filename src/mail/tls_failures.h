#pragma once

#include <QString>
#include <map>

#include "platform/clock.h"

namespace kolvane {

// Failed TLS handshakes, by client address: a scanner or a client that distrusts the
// certificate fails at every try, and the log tells of it once an hour.
class TlsFailures {
 public:
  static constexpr Tick kRepeatMs = 60u * 60u * 1000u;

  // True when a failure from this address is to be logged now; it then counts as logged.
  bool logs(const QString& address, Tick now);

 private:
  std::map<QString, Tick> loggedAt_;
};

}  // namespace kolvane
