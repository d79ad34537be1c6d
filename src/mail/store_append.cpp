#include "mail/store_append.h"

#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <set>

#include "context/gateway_context.h"
#include "mail/mail_date.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"

namespace kolvane {

namespace {

constexpr int kQuickRetries = 20;
constexpr int kQuickRetryMs = 10;
constexpr int kSlowRetryMs = 1000;
constexpr int kStopRetryMs = 50;

void scheduleRetry(GatewayContext& g) {
  PendingAppends& q = g.state().StoreAppends;
  if (q.retryScheduled) return;
  q.retryScheduled = true;
  const bool failing =
      std::any_of(q.items.begin(), q.items.end(), [](const PendingAppend& p) { return p.failed; });
  const int delay = q.stopping                              ? kStopRetryMs
                    : q.retries < kQuickRetries && !failing ? kQuickRetryMs
                                                            : kSlowRetryMs;
  QTimer::singleShot(delay, g.timerOwner(), [&g] { RetryPendingAppends(g); });
}

enum class Attempt { Written, Busy, Failed };

Attempt attempt(GatewayContext& g, const QString& path, const AppendMaker& make,
                bool logFailure = true) {
  auto store = OpenStoreToAppend(g, path);
  if (!store->isOpen()) {
    if (store->error() == ExclusiveFile::OpenError::Busy) return Attempt::Busy;
    g.Log(logFailure, QStringLiteral("!!! ") + QFileInfo(path).fileName() +
                          QStringLiteral(" - OpenFile fault !!!"));
    return Attempt::Failed;
  }
  if (!AppendWhole(store->file(), make(g, store->file()))) {
    g.Log(logFailure, QStringLiteral("!!! ") + QFileInfo(path).fileName() +
                          QStringLiteral(" - WriteFile error !!!"));
    return Attempt::Failed;
  }
  return Attempt::Written;
}

}  // namespace

bool AppendsQueuedFor(const GatewayState& gs, const QString& path) {
  const auto& items = gs.StoreAppends.items;
  return std::any_of(items.begin(), items.end(),
                     [&path](const PendingAppend& p) { return p.path == path; });
}

AppendResult AppendToStore(GatewayContext& g, const QString& path, AppendMaker make,
                           RescueForm rescue, QueueWhenHeld queue) {
  PendingAppends& q = g.state().StoreAppends;
  const QString name = QFileInfo(path).fileName();
  // Behind a queued append the record waits its turn, so a store keeps its order.
  if (!AppendsQueuedFor(g.state(), path)) {
    switch (attempt(g, path, make)) {
      case Attempt::Written:
        return AppendResult::Written;
      case Attempt::Failed:
        return AppendResult::Failed;
      case Attempt::Busy:
        if (queue == QueueWhenHeld::No) return AppendResult::Held;
        g.Log(g.state().cfg.Debug, name + QStringLiteral(" held by another writer, retrying"));
        break;
    }
  }
  if (queue == QueueWhenHeld::No) return AppendResult::Held;
  if (q.items.size() >= PendingAppends::kMax) {
    g.Log(true, QStringLiteral("!!! ") + name + QStringLiteral(" - held too long, not saved !!!"));
    return AppendResult::Failed;
  }
  q.items.push_back({path, std::move(make), std::move(rescue), false});
  scheduleRetry(g);
  return AppendResult::Queued;
}

AppendResult AppendRecord(GatewayContext& g, const QString& path, const tMailRec& rec,
                          bool newPosId) {
  tMailRec dated = rec;
  if (dated.Date.isEmpty() && QFileInfo(path).fileName() == QLatin1String(files::kPop3Tmp))
    dated.Date = MailDateNow(g);
  tMailRec unnumbered = dated;
  if (newPosId) unnumbered.PosID.clear();
  return AppendToStore(g, path,
                       [rec = std::move(dated), newPosId](GatewayContext& gw, QFile& store) {
                         tMailRec r = rec;
                         if (newPosId) r.PosID = NewPosID(gw, store);
                         return MailRecToStr(r);
                       },
                       {MailRecToStr(unnumbered), true});
}

AppendResult AppendRecords(GatewayContext& g, const QString& path, const QList<tMailRec>& recs,
                           QueueWhenHeld queue) {
  QByteArray unnumbered;
  for (tMailRec rec : recs) {
    rec.PosID.clear();
    unnumbered += MailRecToStr(rec);
  }
  return AppendToStore(
      g, path,
      [recs](GatewayContext& gw, QFile& store) { return NumberedRecords(gw, store, recs); },
      {unnumbered, true}, queue);
}

QByteArray NumberedRecords(GatewayContext& g, QFile& store, const QList<tMailRec>& records) {
  QByteArray bytes;
  QByteArray id = NewPosID(g, store);
  for (tMailRec rec : records) {
    rec.PosID = id;
    bytes += MailRecToStr(rec);
    id = PosIdAfter(id);
  }
  return bytes;
}

AppendResult AppendBytes(GatewayContext& g, const QString& path, const QByteArray& bytes) {
  return AppendToStore(g, path, [bytes](GatewayContext&, QFile&) { return bytes; }, {bytes, false});
}

void RetryPendingAppends(GatewayContext& g) {
  PendingAppends& q = g.state().StoreAppends;
  q.retryScheduled = false;
  std::set<QString> busy;
  std::deque<PendingAppend> left;
  while (!q.items.empty()) {
    PendingAppend item = std::move(q.items.front());
    q.items.pop_front();
    if (busy.count(item.path) == 0) {
      // Its caller took the record as stored (a drop line is gone already): a store that
      // fails now is tried again, its failure logged once, rather than the record dropped.
      const Attempt result = attempt(g, item.path, item.make, !item.failed);
      if (result == Attempt::Written) continue;
      item.failed = item.failed || result == Attempt::Failed;
      busy.insert(item.path);
    }
    left.push_back(std::move(item));
  }
  q.items = std::move(left);
  if (q.items.empty()) {
    q.retries = 0;
    return;
  }
  ++q.retries;
  scheduleRetry(g);
}

}  // namespace kolvane
