#pragma once

namespace kolvane {

class Gateway;

// The send phase's command-line texts: every entry of section "ParamAsSMS" of the live
// settings file becomes a job of the mail store for RunParDefTelNo, and its key goes.
void QueueParamAsSms(Gateway& g);

}  // namespace kolvane
