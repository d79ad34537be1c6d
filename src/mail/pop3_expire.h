#pragma once

namespace kolvane {

class GatewayContext;

// Start-up clean-up of the POP3 store: records older than ExpireDay days are dropped (the
// store is left alone when its first record is recent enough), and the saved positions of
// POP3 clients that point before that day are forgotten (neither with ExpireDay 0). Positions
// above every record of the store are brought back to its last identifier.
void Pop3Expire(GatewayContext& g);

}  // namespace kolvane
