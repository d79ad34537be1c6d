#pragma once

#include <functional>

namespace kolvane {

class GatewayContext;

// Puts the high-priority store "SmtpPriH.Tmp" in front of the mail store. Working files left by
// an interrupted merge are folded back first, so no job is lost. duringMerge, when given, runs
// while the mail store is taken away, where another writer may start a new one.
void PriHMerge(GatewayContext& g, const std::function<void()>& duringMerge = {});

// Limits the run file to MaxSmsSendNo records; the rest goes to the end of the mail store.
void SmtpRunCut(GatewayContext& g);

// Scans the waiting store: due jobs go to the mail store, returned ones to the POP3 store,
// deleted ones vanish; the others wait on. Sets WaitNextTime and the store lamps.
void PreSetTimeProc(GatewayContext& g);
// The waiting store is scanned when no preset time is known, one has come, or a request waits.
bool WaitingStoreDue(const GatewayContext& g);
// The main cycle's waiting-store stage: runs PreSetTimeProc when due and not already running;
// true when it ran.
bool RunWaitingStoreIfDue(GatewayContext& g);

// The send phase takes the mail store over as the run file (once per relation).
void TakeOverMailStore(GatewayContext& g);

}  // namespace kolvane
