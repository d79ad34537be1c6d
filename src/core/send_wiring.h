#pragma once

namespace kolvane {

class Gateway;

// Hands the main cycle's send side to the mail store, the job reader and the file drop.
void installSendHooks(Gateway& g);

}  // namespace kolvane
