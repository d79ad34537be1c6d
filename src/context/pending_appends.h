#pragma once

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>

class QFile;

namespace kolvane {

class GatewayContext;

// Makes the bytes to append once the store is open (a new PosID is read from the open store).
using AppendMaker = std::function<QByteArray(GatewayContext& g, QFile& store)>;

struct PendingAppend {
  QString path;
  AppendMaker make;
  bool failed = false;  // a retry found the store failing, not merely held
};

// Appends whose store was held open by another writer. They are retried on the event loop, in
// their order, until written, so that a record is never dropped for a concurrent writer or a
// store that fails after the append was queued.
struct PendingAppends {
  std::deque<PendingAppend> items;
  int retries = 0;  // since the queue was last empty
  bool retryScheduled = false;
};

}  // namespace kolvane
