#pragma once

#include <QString>
#include <cstdint>

namespace kolvane {

class Gateway;

// The mail servers' ports listen from the gateway's start whatever the GSM device does. A port
// that cannot be opened is logged once with the port and the reason, and tried again every
// minute until it listens (or at once when the settings are reloaded).
inline constexpr std::uint32_t kListenRetryMs = 60000;

// Bounds the connections of both mail servers with the settings in force, and logs refusals.
void installMailLimits(Gateway& gateway);
// Opens every port not listening yet and sets the lamps; schedules the next try when one
// fails.
void openMailPorts(Gateway& gateway);
// The main cycle's stage: the next try is due.
void listenRetryStage(Gateway& gateway);
// "listening on port 25", or "not listening on port 25: address in use", per server.
QString mailPortState(Gateway& gateway, bool smtp);

}  // namespace kolvane
