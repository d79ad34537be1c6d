#pragma once

// The main cycle's stages that live in files of their own, in the order the tick runs them.
namespace kolvane {

class Gateway;

void listedSmsStage(Gateway& gateway);   // the list is complete
void allDeletedStage(Gateway& gateway);  // the delete phase has passed the last entry
void storageSwitchOrSendPhase(Gateway& gateway);
void sendPhaseStage(Gateway& gateway);     // the scheduled send phase is due
void nonDeliveryStage(Gateway& gateway);   // the job in hand failed
void jobDoneStage(Gateway& gateway);       // the job in hand has ended
void announcedSmsStage(Gateway& gateway);  // "+CMTI" came and the link is free: list now
void idleEndStage(Gateway& gateway);       // an idle relation ends
void relationEndStage(Gateway& gateway);   // both passes have stopped: the link closes

// On-line with announced SMS the relation stays open while idle (up to a minute a round).
bool relationParked(const Gateway& gateway);
// A periodic start that falls due in a parked relation: the send phase only. True when parked.
bool parkedIntervalStart(Gateway& gateway);

// Logs how often each fault repeated in the relation that ends.
void logFaultSummary(Gateway& gateway);

}  // namespace kolvane
