#pragma once

#include <QByteArray>
#include <QString>

#include "context/pending_appends.h"
#include "mail/mail_rec.h"

namespace kolvane {

class GatewayContext;
struct GatewayState;

enum class AppendResult {
  Written,
  Queued,  // the store is held by another writer; the append follows on the event loop
  Held,    // the store is held and the caller keeps the data (QueueWhenHeld::No): not written
  Failed,  // the store cannot be opened at all (logged)
};

enum class QueueWhenHeld { Yes, No };

// Appends to a store: FileOpenAppend, make the bytes, write, close. A store held open by
// another writer gets the append queued (behind earlier ones for the same store) and retried
// every 10 ms for the first 20 attempts, then once a second; a stop that cannot wait for it
// keeps its rescue form.
AppendResult AppendToStore(GatewayContext& g, const QString& path, AppendMaker make,
                           RescueForm rescue, QueueWhenHeld queue = QueueWhenHeld::Yes);
// One record; with newPosId it gets the next identifier of the store, else it keeps its own. A
// record for the POP3 store without a date is dated now, when it is made.
AppendResult AppendRecord(GatewayContext& g, const QString& path, const tMailRec& rec,
                          bool newPosId);
AppendResult AppendBytes(GatewayContext& g, const QString& path, const QByteArray& bytes);
// Records that belong together (the parts of one text) in one write, numbered on from the
// store's next identifier: all of them reach the store or none.
AppendResult AppendRecords(GatewayContext& g, const QString& path, const QList<tMailRec>& recs,
                           QueueWhenHeld queue = QueueWhenHeld::Yes);

// The bytes of records numbered on from the next identifier of the open store.
QByteArray NumberedRecords(GatewayContext& g, QFile& store, const QList<tMailRec>& records);

// Appends for the store wait in the queue: a new record goes behind them.
bool AppendsQueuedFor(const GatewayState& gs, const QString& path);

// Runs the queued appends that can run now; reschedules itself while any remain.
void RetryPendingAppends(GatewayContext& g);

}  // namespace kolvane
