#pragma once

#include <cstdint>

#include "gsm/sms_rec.h"

namespace kolvane {

// Index of the last group of concatenation reference `ref` with `parts` slots, or -1.
qsizetype FindSmsGroup(const SmsLongArray& groups, std::uint8_t ref, std::uint8_t parts);

// Puts a listed part into its group, opening the group when it is the first part seen.
void PutPartInGroup(SmsLongArray& groups, const tSmsRec& part);

}  // namespace kolvane
