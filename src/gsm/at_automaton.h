#pragma once

#include "gsm/at_states.h"
#include "platform/clock.h"

namespace kolvane {

class GatewayContext;
struct LinkState;

// The AT line assembler: called once per received byte, after the byte has been appended to
// GsmRecvStr. The AT engine (gsm/at_engine.h) sorts the completed lines and sees the prompt;
// the automaton acts on them.
void RecvATcmd(GatewayContext& gateway);

// One automaton step. None answers the reply line in GsmRecvStr; any other state starts there
// (Delete also resets the delete position to the first listed SMS).
void GsmAutomat(GatewayContext& gateway, AtState N);

// Makes "AT" the next command of a new relation or reading round; the connection's first one
// is preceded by ESC.
void KickOffAT(GatewayContext& gateway);

// Nothing is in flight: no command set or awaited, no answer owed, no line half read. A
// relation begins and ends so; the next one opens with its kick-off.
void ClearCommandInFlight(LinkState& link);

// Answer watchdog, run by a receive pass that read nothing: repeats the command in flight and
// declares the device dead after the third time-out.
void AnswerWatch(GatewayContext& gateway, Tick passTick);

}  // namespace kolvane
