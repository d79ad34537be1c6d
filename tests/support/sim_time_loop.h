#pragma once

#include <QStringList>
#include <functional>

#include "core/gateway.h"
#include "gsm/gt_net_client.h"
#include "gsm/link_passes.h"

namespace kolvane {

// The gateway's event loop in simulated time: every 10 ms step advances the manual clock and
// runs what falls due, as the timers would: send pass (50 ms), main cycle (100 ms), TCP
// connect wait (200 ms), receive pass (250 ms), recovery timer (10 s).
class SimTimeLoop {
 public:
  SimTimeLoop(Gateway& gateway, ManualClock& clock) : g_(gateway), clock_(clock) {}

  void run(std::uint32_t ms) {
    for (std::uint32_t t = 0; t < ms; t += 10) step();
  }
  // Runs until done() holds (checked after every step) or maxMs has passed.
  bool runUntil(const std::function<bool()>& done, std::uint32_t maxMs) {
    for (std::uint32_t t = 0; t < maxMs; t += 10) {
      step();
      if (done()) return true;
    }
    return false;
  }

 private:
  void step() {
    clock_.advance(10);
    elapsed_ += 10;
    if (elapsed_ % 50 == 0) g_.passes().SendPass();
    if (elapsed_ % 100 == 0) g_.TimerTimer();
    if (elapsed_ % 200 == 0 && g_.gtNet().waitingForConnect()) g_.gtNet().pollConnectWait();
    if (elapsed_ % 250 == 0) g_.passes().RecvPass();
    if (elapsed_ % 10000 == 0) g_.TmrAlarmTimer();
  }

  Gateway& g_;
  ManualClock& clock_;
  std::uint64_t elapsed_ = 0;
};

}  // namespace kolvane
