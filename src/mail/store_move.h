#pragma once

#include <QList>
#include <QString>

#include "mail/mail_rec.h"

namespace kolvane {

class GatewayContext;

// A record on its way into another store; it keeps its identifier unless it gets the store's
// next one.
struct MovedRecord {
  tMailRec rec;
  bool newPosId = false;
};

// The records one store is to take.
struct StoreBatch {
  QString path;
  QList<MovedRecord> records;
};

enum class MoveResult {
  Moved,   // every store holds its records, on disk
  Held,    // a store is held by another writer: try again shortly
  Failed,  // a store could not take its records (a full disk): *failedStore names it
};

// Appends each store's records in one synced write, all stores or none: when one store cannot
// take its records, those already written are cut back, so every store is as it was. A record
// may leave its old store only after Moved.
MoveResult AppendAllOrNone(GatewayContext& g, const QList<StoreBatch>& batches,
                           QString* failedStore = nullptr);

}  // namespace kolvane
