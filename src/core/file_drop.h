#pragma once

namespace kolvane {

class Gateway;

// The file drop: takes "SendUp.txt" (SendUpTxtName) over and turns each line of a telephone
// number, a TAB and a text into a job of the mail store; every line goes to the sent-out log.
void SendUpFiles(Gateway& g);

}  // namespace kolvane
