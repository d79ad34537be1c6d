#pragma once

#include <QString>
#include <map>

#include "platform/clock.h"

namespace kolvane {

// Status lines repeat a state the log has told already (no mails to send, connected, the
// signal): a kind is shown when its state changes and otherwise at most once an hour, so that
// an idle gateway keeps a log a person can read.
class StatusLines {
 public:
  static constexpr std::uint32_t kRepeatMs = 60u * 60u * 1000u;

  // True when a line of the kind with this state is to be shown now; it then counts as shown.
  bool shows(const QString& kind, const QString& state, Tick now);
  // The state of the kinds beginning with prefix ended (mails came, the link was lost): their
  // next lines are shown.
  void forget(const QString& prefix);

 private:
  struct Shown {
    QString state;
    Tick at = 0;
  };
  std::map<QString, Shown> shown_;
};

}  // namespace kolvane
