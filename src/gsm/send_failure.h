#pragma once

#include <QByteArray>

#include "gsm/at_engine.h"

namespace kolvane {

class GatewayContext;

// The modem's answer as logs and reports name it: "+CMS ERROR: 38", "ERROR".
QByteArray FinalResultText(const at::FinalResult& result);

// Answers to a send that a later try may overcome: the network out of order or congested, no
// service, a time-out in the network, an unknown error, a plain "ERROR". Every other code (the
// number rejected, unknown, barred ...) stays as it is.
bool IsTemporarySendError(const at::FinalResult& result);

// The job in hand was not sent: the main cycle retries it later (temporary) or reports it.
void JobNotSent(GatewayContext& g, const QByteArray& reason, bool temporary);

// The job in hand met a failure a later try may overcome (its result did not come in time, the
// relation had to end before it): it waits in the waiting store for its next try.
inline void SendFailedTemporarily(GatewayContext& g, const QByteArray& reason) {
  JobNotSent(g, reason, true);
}

}  // namespace kolvane
