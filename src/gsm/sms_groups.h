#pragma once

#include <cstdint>

#include "gsm/sms_rec.h"

namespace kolvane {

// Index of the last group of `part`'s sender, concatenation reference and part count, or -1.
qsizetype FindSmsGroup(const SmsLongArray& groups, const tSmsRec& part);

// Puts a listed part into its group, opening the group when it is the first part seen.
void PutPartInGroup(SmsLongArray& groups, const tSmsRec& part);

// The address type a joined message can be trusted with: the parts' common type, or -1 when
// they differ (a part from a forged sender of the same name must not lend the message its type).
std::int32_t CommonTelType(const QList<tSmsRec>& group);

}  // namespace kolvane
