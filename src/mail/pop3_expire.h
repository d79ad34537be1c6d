#pragma once

namespace kolvane {

class Gateway;

// Start-up clean-up of the POP3 store: records older than ExpireDay days are dropped (the
// store is left alone when its first record is recent enough), and the saved positions of
// POP3 clients that point before that day are forgotten. Nothing happens with ExpireDay 0.
void Pop3Expire(Gateway& g);

}  // namespace kolvane
