#pragma once

#include <cstdint>
#include <vector>

namespace kolvane {

// One SMS handed to an ISDN/LAN gateway device.
struct tSmtpRunNdx {
  std::int32_t _WriteSMSCnt = 0;  // the counter sent with the job
  std::int32_t _SmtpRunPos = 0;   // where the job's record starts in the run file
  bool _Confirm = false;
  std::int32_t _IE_CAUSE_5 = -1;  // byte 5 of an IE_CAUSE about this job, -1 none
};

// The gateway devices' protocol state. WriteSMSCnt and SentArr last over the relations of a run;
// SentArr is emptied at each identification.
struct GateProtocolState {
  std::uint16_t WriteSMSCnt = 0;
  std::int32_t ReadSMSCnt = 0;
  std::int32_t GateRecvCnt = 0;
  bool GateIdentified = false;
  // A frame went out and the device has not answered it yet.
  bool AnswerAwaited = false;
  std::vector<tSmtpRunNdx> SentArr;
};

}  // namespace kolvane
