#pragma once

#include <QByteArrayView>

namespace kolvane {

// What a modem says on its own, not as the answer to a command.
enum class Unsolicited {
  None,          // an answer (or nothing the modem volunteers)
  Ring,          // RING, +CRING:, +CLIP:, NO CARRIER
  Registration,  // +CREG:, +CGREG:, +CEREG:
  NewMessage,    // +CMTI: a received SMS was stored
  Report,        // +CDSI:, +CDS:, +CBM: status reports and cell broadcasts
  StickStatus,   // the "^" codes of USB sticks: signal, mode, boot, service state
};

// Recognises an unsolicited result code in a complete reply line (without its line end).
// A line with the prefix the command in flight expects (such as "+CREG:" for "AT+CREG?") is
// its answer, never unsolicited; answerPrefix is empty when the command expects none.
Unsolicited RecogniseUnsolicited(QByteArrayView line, QByteArrayView answerPrefix = {});

// The prefix of the information line a command is answered with ("+CMGL:" for "AT+CMGL=4"),
// empty for commands answered by a final result only.
QByteArrayView AnswerPrefixOf(QByteArrayView command);

}  // namespace kolvane
