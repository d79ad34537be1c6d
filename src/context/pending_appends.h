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

// What a stop that cannot wait for the store writes to "Rescue.Tmp" instead: the records, those
// to be numbered by the store with an empty PosID, or plain bytes.
struct RescueForm {
  QByteArray bytes;
  bool records = true;
};

struct PendingAppend {
  QString path;
  AppendMaker make;
  RescueForm rescue;
  bool failed = false;  // a retry found the store failing, not merely held
};

// Appends whose store was held open by another writer. They are retried on the event loop, in
// their order, until written, so that a record is never dropped for a concurrent writer or a
// store that fails after the append was queued.
struct PendingAppends {
  // Beyond this many an append fails at once: a store held for good must not fill the memory.
  static constexpr std::size_t kMax = 2000;
  std::deque<PendingAppend> items;
  int retries = 0;  // since the queue was last empty
  bool retryScheduled = false;
  bool stopping = false;  // the program waits for the queue before it ends: retried quickly
};

}  // namespace kolvane
