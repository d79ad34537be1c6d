#include "mail/store_repair.h"

#include <QFileInfo>
#include <algorithm>

#include "context/gateway_context.h"
#include "mail/store_file.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

const QByteArray kRecordEnd = QByteArrayLiteral("\r\n.\r\n");

// The priority merge's run file too: it takes whole stores one after the other.
constexpr const char* kRecordStores[] = {files::kSmtpTmp, files::kSmtpPriHTmp, files::kSmtpPriHRun,
                                         files::kSmtpWaitTmp, files::kPop3Tmp};

bool isRecordStore(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  return std::any_of(std::begin(kRecordStores), std::end(kRecordStores),
                     [&name](const char* s) { return name == QLatin1String(s); });
}

// Where the bytes after the store's last whole record begin; the size when it ends with one.
qint64 tailStart(QFile& store) {
  const qint64 size = store.size();
  if (size == 0) return 0;
  for (qint64 window = 1024;; window *= 2) {
    const qint64 from = std::max<qint64>(0, size - window);
    if (!store.seek(from)) return size;
    const QByteArray bytes = store.read(size - from);
    const qsizetype at = bytes.lastIndexOf(kRecordEnd);
    if (at >= 0) return from + at + kRecordEnd.size();
    if (from == 0) return 0;
  }
}

// False when the cut bytes could not be kept: the store is then left untouched.
bool setCutTailAside(GatewayContext& g, QFile& store, const QString& path) {
  const qint64 size = store.size();
  const qint64 start = tailStart(store);
  store.seek(size);
  if (start >= size) return true;
  store.seek(start);
  const QByteArray tail = store.read(size - start);
  store.seek(size);
  // A record whose "." line lost only its line end is whole: it gets the line end back.
  for (const QByteArray& missing : {QByteArrayLiteral("\n"), QByteArrayLiteral("\r\n")}) {
    if ((tail + missing).endsWith(kRecordEnd) && tail.contains("\r\n\r\n"))
      return AppendWhole(store, missing);
  }
  const QString name = QFileInfo(path).fileName();
  if (!KeepMishmash(g, name, tail)) return false;
  if (!store.resize(start) || !SyncToDisk(store)) return false;
  store.seek(start);
  g.Log(true, fillPlaceholders(g.Text(510), {name, QString::number(tail.size()),
                                             QLatin1String(files::kMishmashPrefix) + name}));
  return true;
}

}  // namespace

QByteArray MishmashLine(GatewayContext& g, const QByteArray& bytes) {
  const QByteArray stamp =
      fromDateTime(g.clock().now()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
  return stamp + "->|" + bytes + "|<-\r\n";
}

QString MishmashPath(const GatewayContext& g, const QString& storeName) {
  return g.state().ProgramDir + QLatin1String(files::kMishmashPrefix) + storeName;
}

bool KeepMishmash(GatewayContext& g, const QString& storeName, const QByteArray& bytes) {
  auto file = FileOpenAppend(MishmashPath(g, storeName));
  return file->isOpen() && AppendWhole(file->file(), MishmashLine(g, bytes));
}

std::unique_ptr<ExclusiveFile> OpenStoreToAppend(GatewayContext& g, const QString& path) {
  auto store = FileOpenAppend(path);
  if (store->isOpen() && isRecordStore(path) && !setCutTailAside(g, store->file(), path)) {
    store->close();
    return std::make_unique<ExclusiveFile>(path);  // not open and not busy: a failed open
  }
  return store;
}

void RepairCutStores(GatewayContext& g) {
  for (const char* name : kRecordStores) {
    const QString path = g.state().file(name);
    if (QFileInfo::exists(path)) OpenStoreToAppend(g, path);
  }
}

}  // namespace kolvane
