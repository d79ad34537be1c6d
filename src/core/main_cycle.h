#pragma once

#include <QString>

#include "platform/clock.h"

namespace kolvane {

class Gateway;

// One tick of the 100 ms main cycle, with its guard: nothing happens while a link pass is busy,
// while the cycle itself runs, or while a start waits for the TCP gateway.
void runMainCycle(Gateway& gateway);

// Between ticks, when an answer has come: the relation's stages of the cycle (restart, kick-off,
// list, delete and send phases, job end, idle end, link close), in the tick's order and under
// the same guard.
void runRelationStages(Gateway& gateway);

// The counter labels' date, "d.m.".
QString counterDateLabel(DateTime now);

}  // namespace kolvane
