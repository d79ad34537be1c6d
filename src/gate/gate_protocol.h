#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace kolvane {

class GatewayContext;
struct GateIEs;

// The line protocol of the ISDN/LAN gateway devices, on the gateway's event loop.

// Relation start: asks the device to identify itself.
void GateStart(GatewayContext& g);
// Receive side: runs after every byte appended to GsmRecvStr; handles a frame once it ended.
void GateRecv(GatewayContext& g);
// Hands the frame with this IE list to the send pass (behind one still waiting).
void GateSend(GatewayContext& g, const QByteArray& ieList);

// Send side: the next job of the run file, after re-queuing what an identification leaves
// unconfirmed.
void GateSendNext(GatewayContext& g);
// The reaction to an IE_CAUSE whose byte 5 is c (240 inactive module, above 253 buffer full).
void GateCauseReaction(GatewayContext& g, std::uint8_t c);

// A received SMS into the POP3 store; false when it could not be stored.
bool GateStoreSms(GatewayContext& g, const GateIEs& ies);
// The device's notice that its queue of received SMS is full, into the POP3 store.
void GateQueueFullNotice(GatewayContext& g);

// The run-file positions of jobs handed to the device and neither confirmed nor refused, this
// run's and those a run before a restart left; the list is kept in the settings file at every
// change so that a restart does not lose them.
std::vector<std::int32_t> GateUnconfirmedPositions(GatewayContext& g);
void GateSaveUnconfirmed(GatewayContext& g);

// Plugs the protocol into the relation's start and the link's receive side.
void installGateHooks(GatewayContext& g);

}  // namespace kolvane
