#pragma once

#include "gsm/link_state.h"
#include "gsm/sms_rec.h"

namespace kolvane {

class GatewayContext;

// Parses the answer to the list command into SmsRecvArr and SmsLongArr; when the answer is
// complete (or stalled) it stores the messages, and on completion raises ListDone.
void ReadSmsList(GatewayContext& gateway);

// Entry `index` of SmsRecvArr ready for dispatch: out.OK is set when it can be delivered now,
// with the joined text when it is a part of a complete concatenated message.
void SmsRecvArrToSmsRec(GatewayContext& gateway, int index, tSmsRec& out);

// Empties SmsRecvArr and the delivered groups; groups still waiting for parts survive.
void FreeSMSArr(LinkState& link);

}  // namespace kolvane
