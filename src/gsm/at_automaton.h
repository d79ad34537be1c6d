#pragma once

#include "platform/clock.h"

namespace kolvane {

class GatewayContext;
struct LinkState;

// The AT line assembler: called once per received byte, after the byte has been appended to
// GsmRecvStr. Completed lines drive GsmAutomat(-1); the SMS prompt is recognised here.
void RecvATcmd(GatewayContext& gateway);

// One automaton step. N = -1 answers the reply line in GsmRecvStr; N >= 0 starts state N
// (19 also resets the delete position to the first listed SMS).
void GsmAutomat(GatewayContext& gateway, int N);

// Makes "AT" the next command of a new relation or reading round.
void KickOffAT(GatewayContext& gateway);

// The send pass has written a command (or an SMS body) whole: its answer is awaited.
void CommandWritten(GatewayContext& gateway);

// Nothing is in flight: no command set or awaited, no answer owed, no line half read. A
// relation begins and ends so; the next one opens with its kick-off.
void ClearCommandInFlight(LinkState& link);

// Answer watchdog, run by a receive pass that read nothing: repeats the command in flight and
// declares the device dead after the third time-out.
void AnswerWatch(GatewayContext& gateway, Tick passTick);

}  // namespace kolvane
