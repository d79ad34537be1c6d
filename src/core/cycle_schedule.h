#pragma once

#include <cstdint>

namespace kolvane {

class Gateway;

// When the main cycle ticks next. While anything is under way (a relation, a pending reply,
// log lines for the memo, a beeping alarm, the start-up wait ...) it keeps its 100 ms pace;
// otherwise it sleeps until the earliest moment a stage falls due: the periodic start, the
// countdown second (with a window, or a memo to trim), the file-drop check, the next preset
// time, the date change, the self-close, or the window's next second.
struct CycleWait {
  bool paced = false;    // tick 100 ms after the last one
  std::uint32_t ms = 0;  // otherwise: from now
};

inline constexpr std::uint32_t kCyclePaceMs = 100;
// The longest sleep: a window shows the time and counters each second; headless the cap only
// bounds what an unforeseen due moment could wait.
inline constexpr std::uint32_t kWindowSleepMs = 1000;
inline constexpr std::uint32_t kHeadlessSleepMs = 60000;

CycleWait nextCycleWait(Gateway& g);

// The wait until the recovery timer's run can start a relation (its time has passed).
std::uint32_t recoveryWaitMs(const Gateway& g);

}  // namespace kolvane
