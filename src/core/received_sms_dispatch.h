#pragma once

namespace kolvane {

class Gateway;

// Hands every SMS of the last listing to its use: a command line (allowed senders only),
// speech, or the POP3 store; then starts the deletion of the listed SMS from the device.
// Parts still waiting for the rest of their message are kept on disk; a message still
// incomplete a day after its first part came is stored with its missing parts marked.
void DispatchReceivedSms(Gateway& g);

// Stores the incomplete messages whose wait is over (outside a relation).
void DeliverOverdueParts(Gateway& g);

// Wires the dispatch into the main cycle, and the POP3 store clean-up and the waiting parts
// into start-up.
void installReceiveHooks(Gateway& g);

}  // namespace kolvane
