#pragma once

#include <QByteArray>
#include <QString>

namespace kolvane {

class GatewayContext;
struct LinkState;

namespace at {

// The state a reply answers, recognised from the last command sent.
int AnsweredState(const LinkState& link);

// Next state after "OK", or after an error line, for the state answered.
int OkTransition(GatewayContext& gateway, int state);
int ErrorTransition(GatewayContext& gateway, int state);

// A reply line that is neither a result nor the echo (upper-cased).
void InformationLine(GatewayContext& gateway, const QByteArray& upper);

// A new command replaces the one in flight: the answers its writes still owe come first.
void NewCommand(LinkState& link);

// Writes the command of state N and arms the watchdog for it.
void CommandStep(GatewayContext& gateway, int N);

// The job in flight has been accepted by the network side.
void SmsSent(GatewayContext& gateway);

// The kick-off's SIM, network and indication states (60 to 63): the next state after "OK" or
// an error, the command of the state, and the "+CPIN:" and "+CREG:" lines.
int SimOk(GatewayContext& gateway, int state);
int SimError(GatewayContext& gateway, int state);
bool WriteSimCommand(GatewayContext& gateway, int N);
void SimInformation(GatewayContext& gateway, const QByteArray& upper);
// After the signal: the indications in on-line mode, the storage or the listing.
int AfterSignal(GatewayContext& gateway);

// A line the modem sent on its own (RING, +CREG:, +CMTI:, ^RSSI: ...) is set aside: it is no
// answer and ends nothing. True when the line was one.
bool SetAside(GatewayContext& gateway, const QByteArray& line);

// A command or its echo as traces show it: the PIN masked.
QByteArray Traced(const QByteArray& line);

// A trace shown only with Debug on.
void DebugLog(GatewayContext& gateway, const QString& text);

}  // namespace at
}  // namespace kolvane
