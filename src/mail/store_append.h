#pragma once

#include <QByteArray>
#include <QString>

#include "context/pending_appends.h"
#include "mail/mail_rec.h"

namespace kolvane {

class GatewayContext;

enum class AppendResult {
  Written,
  Queued,  // the store is held by another writer; the append follows on the event loop
  Failed,  // the store cannot be opened at all (logged)
};

// Appends to a store: FileOpenAppend, make the bytes, write, close. A store held open by
// another writer gets the append queued (behind earlier ones for the same store) and retried
// every 10 ms for the first 20 attempts, then once a second.
AppendResult AppendToStore(GatewayContext& g, const QString& path, AppendMaker make);
// One record; with newPosId it gets the next identifier of the store, else it keeps its own. A
// record for the POP3 store without a date is dated now, when it is made.
AppendResult AppendRecord(GatewayContext& g, const QString& path, const tMailRec& rec,
                          bool newPosId);
AppendResult AppendBytes(GatewayContext& g, const QString& path, const QByteArray& bytes);

// Runs the queued appends that can run now; reschedules itself while any remain.
void RetryPendingAppends(GatewayContext& g);

}  // namespace kolvane
