#include <QFile>

#include "context/gateway_context.h"
#include "mail/store_file.h"
#include "mail/store_protocols.h"
#include "mail/store_repair.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

constexpr char kSmtpCut[] = "Smtp.Cut";
constexpr qint64 kWindow = 1024;

// Length of the record at the start of the window: through the line end after its "." line,
// or the whole window when it holds no record end.
qint64 recordLength(const QByteArray& window) {
  const qsizetype dot = window.indexOf("\r\n.");
  if (dot < 0) return window.size();
  return std::min<qint64>(dot + 5, window.size());
}

bool holdsRecordEnd(const QByteArray& window) {
  const qsizetype dot = window.indexOf("\r\n.");
  return dot >= 0 && dot + 5 <= window.size();
}

// Offset of the first record past the limit; -1 when the run file has no more records.
qint64 firstCutOffset(QFile& run, int maxRecords) {
  qint64 offset = 0;
  for (int record = 1;; ++record) {
    const auto window = ReadRecordWindow(run, offset, kWindow, holdsRecordEnd);
    if (!window || window->isEmpty()) return -1;
    if (record > maxRecords) return offset;
    offset += recordLength(*window);
  }
}

}  // namespace

void SmtpRunCut(GatewayContext& g) {
  GatewayState& gs = g.state();
  const QString runPath = gs.file(files::kSmtpRun);
  const QString cutPath = gs.file(kSmtpCut);
  const QString smtpTmp = gs.file(files::kSmtpTmp);
  QFile::remove(cutPath);
  if (!QFile::exists(runPath)) return;

  ExclusiveFile run(runPath);
  if (!run.open(QIODevice::ReadWrite)) return;
  const qint64 cut = firstCutOffset(run.file(), gs.cfg.MaxSmsSendNo);
  if (cut >= 0) {
    run.file().seek(cut);
    const QByteArray tail = run.file().readAll();
    // The cut jobs are on disk in the mail store before the run file loses them: a power cut
    // in between repeats them rather than losing them. A mail store that cannot take them now
    // leaves the run file whole this once.
    bool kept = false;
    if (QFile::exists(smtpTmp)) {
      auto store = OpenStoreToAppend(g, smtpTmp);
      kept = store->isOpen() && AppendWhole(store->file(), tail);
    } else {
      QFile cutFile(cutPath);
      kept = cutFile.open(QIODevice::NewOnly | QIODevice::WriteOnly, kPrivateFile) &&
             cutFile.write(tail) == tail.size() && SyncToDisk(cutFile);
      cutFile.close();
      kept = kept && QFile::rename(cutPath, smtpTmp) && SyncFolderOf(smtpTmp);
    }
    if (kept && run.file().resize(cut)) SyncToDisk(run.file());
  }
  run.close();
  QFile::remove(cutPath);
  if (QFile::exists(smtpTmp)) gs.Lamps.smtpBits |= kLampStore;
}

}  // namespace kolvane
