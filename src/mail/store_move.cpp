#include "mail/store_move.h"

#include <QFileInfo>
#include <memory>
#include <vector>

#include "context/gateway_context.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"

namespace kolvane {

namespace {

// The records' bytes; a new identifier is never below one written before it.
QByteArray batchBytes(GatewayContext& g, QFile& store, const QList<MovedRecord>& records) {
  QByteArray bytes;
  QByteArray next;
  for (MovedRecord m : records) {
    if (m.newPosId) {
      if (next.isEmpty()) next = NewPosID(g, store);
      m.rec.PosID = next;
    }
    if (next.isEmpty() || m.rec.PosID.toLongLong() >= next.toLongLong()) {
      next = PosIdAfter(m.rec.PosID);
    }
    bytes += MailRecToStr(m.rec);
  }
  return bytes;
}

}  // namespace

MoveResult AppendAllOrNone(GatewayContext& g, const QList<StoreBatch>& batches,
                           QString* failedStore) {
  struct Written {
    std::unique_ptr<ExclusiveFile> store;
    qint64 before;
  };
  std::vector<Written> written;  // held open until all are written, so none changes meanwhile
  const auto fail = [&](MoveResult result, const QString& path) {
    for (Written& w : written) {
      w.store->file().resize(w.before);
      SyncToDisk(w.store->file());
    }
    if (failedStore) *failedStore = QFileInfo(path).fileName();
    return result;
  };
  for (const StoreBatch& batch : batches) {
    if (batch.records.isEmpty()) continue;
    // Appends queued for the store keep their place in front.
    if (AppendsQueuedFor(g.state(), batch.path)) return fail(MoveResult::Held, batch.path);
    auto store = OpenStoreToAppend(g, batch.path);
    if (!store->isOpen()) {
      return fail(
          store->error() == ExclusiveFile::OpenError::Busy ? MoveResult::Held : MoveResult::Failed,
          batch.path);
    }
    const qint64 before = store->file().size();
    if (!AppendWhole(store->file(), batchBytes(g, store->file(), batch.records))) {
      return fail(MoveResult::Failed, batch.path);
    }
    written.push_back({std::move(store), before});
  }
  return MoveResult::Moved;
}

}  // namespace kolvane
