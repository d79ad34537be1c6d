#pragma once

#include <QByteArray>
#include <QString>

#include "gsm/at_engine.h"
#include "gsm/at_states.h"

namespace kolvane {

class GatewayContext;
struct LinkState;

namespace at {

// The state a reply answers, recognised from the last command sent.
AtState AnsweredState(const LinkState& link);

// Next state after "OK", or after an error result, for the state answered.
AtState OkTransition(GatewayContext& gateway, AtState state);
AtState ErrorTransition(GatewayContext& gateway, AtState state);

// The kick-off's optional commands: one the modem does not support is left out for the rest of
// the connection, and the relation goes on as after its "OK".
bool Optional(AtState state);
AtState LeftOutTransition(GatewayContext& gateway, AtState state);
// The modem said it does not support the command of this optional state.
AtState NotSupported(GatewayContext& gateway, AtState state);

// An information line the command in flight expects (upper-cased).
void InformationLine(GatewayContext& gateway, const QByteArray& upper);
// A line the modem sent on its own (RING, +CMTI:, "Call Ready" ...): no answer, it ends nothing.
void UnsolicitedCode(GatewayContext& gateway, const Reading& line);
// A "+CMGS" in `text` that no send awaits is the late result of the send given up on last: it
// went out after all, and its job leaves the waiting store instead of going a second time (the
// modem answers in order, so an older one would have come first).
void LateSendResult(GatewayContext& gateway, QByteArrayView text);

// Writes the command of state N and arms the watchdog for it.
void CommandStep(GatewayContext& gateway, AtState N);

// The job in flight has been accepted by the network side.
void SmsSent(GatewayContext& gateway);

// The kick-off's SIM, network and indication states: the next state after "OK" or an error,
// the command of the state, and the "+CPIN:" and "+CREG:" lines.
AtState SimOk(GatewayContext& gateway, AtState state);
AtState SimError(GatewayContext& gateway, AtState state);
bool WriteSimCommand(GatewayContext& gateway, AtState N);
// The PIN got no answer in its time: it is never written again.
void PinEntryTimedOut(GatewayContext& gateway);
void SimInformation(GatewayContext& gateway, const QByteArray& upper);
// After the signal: the indications in on-line mode, the storage or the listing.
AtState AfterSignal(GatewayContext& gateway);
// The storage or the listing: the reading begins.
AtState ReadingStart(const GatewayContext& gateway);

// A command or its echo as traces show it: the PIN masked.
QByteArray Traced(const QByteArray& line);

// A trace shown only with Debug on.
void DebugLog(GatewayContext& gateway, const QString& text);

}  // namespace at
}  // namespace kolvane
