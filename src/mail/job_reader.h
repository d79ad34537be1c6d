#pragma once

#include <cstdint>

namespace kolvane {

class GatewayContext;

// Results of ReadNextJob.
inline constexpr int kJobReady = 1;            // send; the modem's character set fits
inline constexpr int kJobReadyNewCharset = 2;  // set the character set first, then send
inline constexpr int kJobReported = 0;         // not sendable; reported, next phase scheduled
inline constexpr int kJobNoneAfterLast = 3;    // nothing read; the previous job was the last
inline constexpr int kJobNone = -3;            // nothing read otherwise

// Reads the record of the run file "Smtp.Run" at SmtpRunPos and makes it the job in hand
// (JobTelNo, JobText, JobWideText, JobUCS2, ...), or reports it when it cannot be sent.
int ReadNextJob(GatewayContext& g);

// Sets SmtpRunPos and writes it to the settings file at once, so that a restart after a crash
// continues at the job in hand.
void AdvanceSmtpRunPos(GatewayContext& g, std::int32_t next);

}  // namespace kolvane
