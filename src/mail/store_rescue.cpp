#include "mail/store_rescue.h"

#include <QFileInfo>
#include <QTimer>
#include <set>
#include <vector>

#include "context/gateway_context.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"
#include "platform/private_files.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr int kStopWaitMs = 5000;
constexpr int kStopPollMs = 50;

const QByteArray kHead = QByteArrayLiteral("Rescue: ");
const QByteArray kCrLf = QByteArrayLiteral("\r\n");
const QByteArray kRecordEnd = QByteArrayLiteral("\r\n.\r\n");
const QByteArray kUnnumbered = QByteArrayLiteral("PosID: \r\n");

// One kept append: "Rescue: " name kind length CR LF, the bytes, CR LF.
struct Block {
  QString name;
  RescueForm form;
};

QByteArray blockBytes(const Block& b) {
  return kHead + b.name.toUtf8() + ' ' + (b.form.records ? "records" : "bytes") + ' ' +
         QByteArray::number(b.form.bytes.size()) + kCrLf + b.form.bytes + kCrLf;
}

// A store of the program folder, never a path elsewhere.
bool plainName(const QString& name) {
  return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.'));
}

// The blocks of the file; end is where the readable ones stop (a cut or damaged rest).
std::vector<Block> parseBlocks(const QByteArray& text, qsizetype& end) {
  std::vector<Block> blocks;
  end = 0;
  while (end < text.size()) {
    const qsizetype lineEnd = text.indexOf(kCrLf, end);
    if (lineEnd < 0 || !text.mid(end).startsWith(kHead)) break;
    const QList<QByteArray> words =
        text.mid(end + kHead.size(), lineEnd - end - kHead.size()).split(' ');
    if (words.size() != 3 || (words[1] != "records" && words[1] != "bytes")) break;
    bool ok = false;
    const qsizetype length = words[2].toLongLong(&ok);
    const qsizetype start = lineEnd + kCrLf.size();
    if (!ok || length < 0 || start + length + kCrLf.size() > text.size() ||
        text.mid(start + length, kCrLf.size()) != kCrLf) {
      break;
    }
    const QString name = QString::fromUtf8(words[0]);
    if (!plainName(name)) break;
    blocks.push_back({name, {text.mid(start, length), words[1] == "records"}});
    end = start + length + kCrLf.size();
  }
  return blocks;
}

// Records kept without an identifier get the store's next ones, in their order.
QByteArray numbered(GatewayContext& g, QFile& store, const QByteArray& records) {
  QByteArray out;
  QByteArray next;
  for (qsizetype at = 0; at < records.size();) {
    const qsizetype stop = records.indexOf(kRecordEnd, at);
    const qsizetype end = stop < 0 ? records.size() : stop + kRecordEnd.size();
    QByteArray rec = records.mid(at, end - at);
    at = end;
    if (rec.startsWith(kUnnumbered)) {
      if (next.isEmpty()) next = NewPosID(g, store);
      rec.replace(0, kUnnumbered.size(), "PosID: " + next + kCrLf);
      next = PosIdAfter(next);
    }
    out += rec;
  }
  return out;
}

bool writeBlock(GatewayContext& g, const Block& b) {
  auto store = OpenStoreToAppend(g, g.state().ProgramDir + b.name);
  if (!store->isOpen()) return false;
  const QByteArray bytes = b.form.records ? numbered(g, store->file(), b.form.bytes) : b.form.bytes;
  return AppendWhole(store->file(), bytes);
}

// The rescue file holds just these bytes afterwards (none: it goes).
bool keepOnly(const QString& path, const QByteArray& bytes) {
  if (bytes.isEmpty()) return QFile::remove(path) || !QFile::exists(path);
  const QString temp = path + QStringLiteral(".new");
  QFile out(temp);
  const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate, kPrivateFile) &&
                       out.write(bytes) == bytes.size() && SyncToDisk(out);
  out.close();
  if (written && ReplaceSynced(temp, path)) return true;
  QFile::remove(temp);
  return false;
}

void waitForQueue(GatewayContext& g, int waited, std::function<void()> then) {
  if (g.state().StoreAppends.items.empty() || waited >= kStopWaitMs) {
    RescuePendingAppends(g);
    then();
    return;
  }
  QTimer::singleShot(kStopPollMs, g.timerOwner(), [&g, waited, then = std::move(then)]() mutable {
    waitForQueue(g, waited + kStopPollMs, std::move(then));
  });
}

}  // namespace

void FinishAppendsThen(GatewayContext& g, std::function<void()> then) {
  PendingAppends& q = g.state().StoreAppends;
  if (!q.items.empty()) {
    g.Log(true, fillPlaceholders(g.Text(514), {QString::number(q.items.size())}));
    q.stopping = true;
    RetryPendingAppends(g);
  }
  waitForQueue(g, 0, std::move(then));
}

void RescuePendingAppends(GatewayContext& g) {
  GatewayState& gs = g.state();
  PendingAppends& q = gs.StoreAppends;
  if (q.items.empty()) return;
  QByteArray bytes;
  for (const PendingAppend& item : q.items) {
    bytes += blockBytes({QFileInfo(item.path).fileName(), item.rescue});
  }
  const QString count = QString::number(q.items.size());
  q.items.clear();
  const QString name = QLatin1String(files::kRescueTmp);
  auto file = FileOpenAppend(gs.file(files::kRescueTmp));
  if (file->isOpen() && AppendWhole(file->file(), bytes)) {
    g.Log(true, fillPlaceholders(g.Text(515), {count, name}));
  } else {
    g.Log(true, fillPlaceholders(g.Text(516), {name, count}));
  }
}

void RestoreRescuedAppends(GatewayContext& g) {
  const QString path = g.state().file(files::kRescueTmp);
  const QString name = QLatin1String(files::kRescueTmp);
  if (!QFileInfo::exists(path)) return;
  const auto text = ReadWholeFile(path);
  if (!text) {
    g.Log(true, QStringLiteral("!!! ") + name + QStringLiteral(" - ReadFile error !!!"));
    return;
  }
  qsizetype end = 0;
  const std::vector<Block> blocks = parseBlocks(*text, end);
  // A rest cut by a crash while it was written is kept aside like any unreadable record.
  if (end < text->size()) {
    const QByteArray rest = text->mid(end);
    if (!KeepMishmash(g, name, rest)) return;
    g.Log(true, fillPlaceholders(g.Text(510), {name, QString::number(rest.size()),
                                               QLatin1String(files::kMishmashPrefix) + name}));
  }
  std::set<QString> stuck;  // a store that took no block takes none after it: order is kept
  QByteArray left;
  int written = 0;
  int kept = 0;
  for (const Block& b : blocks) {
    if (stuck.count(b.name) == 0 && writeBlock(g, b)) {
      ++written;
      continue;
    }
    stuck.insert(b.name);
    left += blockBytes(b);
    ++kept;
  }
  if (!keepOnly(path, left)) {
    g.Log(true, QStringLiteral("!!! ") + name + QStringLiteral(" - WriteFile error !!!"));
  }
  if (written > 0) g.Log(true, fillPlaceholders(g.Text(517), {name, QString::number(written)}));
  if (kept > 0) g.Log(true, fillPlaceholders(g.Text(518), {name, QString::number(kept)}));
}

}  // namespace kolvane
