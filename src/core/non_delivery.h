#pragma once

#include <QByteArray>

namespace kolvane {

class Gateway;

// The job in hand was not sent (LinkState's SendFailReason and SendFailTemporary say why). A
// temporary failure puts it into the waiting store for its next try, until SendRetryHours
// have passed since its first; then, and for every other failure, a "Non-delivery SMS: "
// report for its sender goes into the POP3 store. True when it was reported.
bool JobNotDelivered(Gateway& g);

// The job in hand is tried again later: into the waiting store with its attempts and the time
// of its next try (1, 5, 15 and 60 minutes after each failure, then hourly), unless its retry
// time is over or the waiting store cannot take it. `resultGivenUp`: its send's result never
// came, so a late "+CMGS" may still say it went out.
enum class Retry { Waiting, TimeOver, NotKept };
Retry RetryJobLater(Gateway& g, const QByteArray& reason, bool resultGivenUp = false);

// The report of the job in hand: the reason, the number, every attempt and the text as written.
void ReportNonDelivery(Gateway& g, const QByteArray& reason, bool givenUp);

}  // namespace kolvane
