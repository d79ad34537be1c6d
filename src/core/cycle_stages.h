#pragma once

// The main cycle's stages that live in files of their own, in the order the tick runs them.
namespace kolvane {

class Gateway;

void listedSmsStage(Gateway& gateway);   // the list is complete
void allDeletedStage(Gateway& gateway);  // the delete phase has passed the last entry
void storageSwitchOrSendPhase(Gateway& gateway);
void sendPhaseStage(Gateway& gateway);    // the scheduled send phase is due
void nonDeliveryStage(Gateway& gateway);  // the job in hand failed
void jobDoneStage(Gateway& gateway);      // the job in hand has ended
void idleEndStage(Gateway& gateway);      // an idle relation ends, or a closing one at rest

// Closing: nothing the relation began is left to finish. No command waits to be written or
// for its answer, no listing is coming in, no listed SMS waits to be stored or deleted, no job
// waits for its end.
bool RelationAtSafePoint(Gateway& gateway);
void relationEndStage(Gateway& gateway);   // both passes have stopped: the link closes
void announcedSmsStage(Gateway& gateway);  // "+CMTI" came and the link is free: list now

// On-line with announced SMS the relation stays open while idle (up to a minute a round).
bool relationParked(const Gateway& gateway);
// A periodic start that falls due in a parked relation: the send phase only. True when parked.
bool parkedIntervalStart(Gateway& gateway);

// Logs how often each fault repeated in the relation that ends.
void logFaultSummary(Gateway& gateway);

}  // namespace kolvane
