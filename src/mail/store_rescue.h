#pragma once

#include <functional>

namespace kolvane {

class GatewayContext;

// A stop: waits up to 5 s for the appends queued for held stores, then keeps what is still
// queued in "Rescue.Tmp" (logged either way) and calls then.
void FinishAppendsThen(GatewayContext& g, std::function<void()> then);

// Writes the queued appends to "Rescue.Tmp" and empties the queue.
void RescuePendingAppends(GatewayContext& g);

// Start-up, before anything else is appended: the appends kept in "Rescue.Tmp" go to their
// stores, in their order; those whose store cannot take them now stay for the next start.
void RestoreRescuedAppends(GatewayContext& g);

}  // namespace kolvane
