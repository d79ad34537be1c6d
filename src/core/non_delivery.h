#pragma once

namespace kolvane {

class Gateway;

// The job in hand was not delivered: a "Non-delivery SMS: " message for its sender goes into
// the POP3 store and the POP3 traffic log.
void ReportNonDelivery(Gateway& g);

}  // namespace kolvane
