#pragma once

#include <QList>

#include "gsm/link_state.h"
#include "gsm/sms_rec.h"
#include "platform/clock.h"

namespace kolvane {

class Gateway;

// Parts of concatenated messages are deleted from the device as soon as they are listed, so
// the parts still waiting for the others are kept in this file of the program folder.
inline constexpr char kSmsPartsFile[] = "SmsParts.Tmp";

// How long an incomplete message waits for its missing parts, in days.
inline constexpr DateTime kPartsWaitDays = 1.0;

// Reads the waiting parts into SmsLongArr (at start); bad lines are logged and skipped.
void LoadWaitingParts(Gateway& g);
// Writes the groups still waiting (none: the file is removed).
void SaveWaitingParts(Gateway& g);

// Gives the parts that came since the last call their arrival time.
void StampNewParts(LinkState& link, DateTime now);

// Takes the groups whose first part came more than a day ago out of SmsLongArr, each as one
// message with the parts that came, in order, and every missing part marked "[…]".
QList<tSmsRec> TakeOverdueMessages(LinkState& link, DateTime now);

}  // namespace kolvane
