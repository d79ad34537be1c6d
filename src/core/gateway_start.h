#pragma once

#include <QString>

namespace kolvane {

class Gateway;

// Who asks for a start or stop: the Start/Stop button, the main cycle's timer (periodic start,
// recovery), nobody (restart after a line error) or anything else (the start at program begin).
enum class StartSender { Button, CycleTimer, None, Other };

// Starts or stops the gateway as a whole: opens the link and the mail listening sockets, or
// ends the periodic schedule. A TCP start finishes when the gateway connects, reports an error
// or the wait runs out.
void BBt1Click(Gateway& gateway, StartSender sender);

// Ends the relation's schedule and returns the window to its stopped look; a failed checked
// start is explained.
void RelationStop(Gateway& gateway);

// The 10 s recovery timer: restarts a gateway whose automaton has been silent too long.
void TmrAlarmTimer(Gateway& gateway);

// The explanation of a checked start's failure code (lines separated by "\r").
QString startFailureExplanation(const Gateway& gateway, int testStartErr);

}  // namespace kolvane
