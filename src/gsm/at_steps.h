#pragma once

#include <QByteArray>
#include <QString>

namespace kolvane {

class Gateway;
struct LinkState;

namespace at {

// The state a reply answers, recognised from the last command sent.
int AnsweredState(const LinkState& link);

// Next state after "OK", or after an error line, for the state answered.
int OkTransition(Gateway& gateway, int state);
int ErrorTransition(Gateway& gateway, int state);

// A reply line that is neither a result nor the echo (upper-cased).
void InformationLine(Gateway& gateway, const QByteArray& upper);

// A new command replaces the one in flight: the answers its writes still owe come first.
void NewCommand(LinkState& link);

// Writes the command of state N and arms the watchdog for it.
void CommandStep(Gateway& gateway, int N);

// The job in flight has been accepted by the network side.
void SmsSent(Gateway& gateway);

// A trace shown only with Debug on.
void DebugLog(Gateway& gateway, const QString& text);

}  // namespace at
}  // namespace kolvane
