#include "mail/pop3_expire.h"

#include <QDate>
#include <QFile>
#include <optional>

#include "context/gateway_context.h"
#include "mail/store_file.h"
#include "platform/exclusive_file.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

constexpr qint64 kWindow = 1024;

long long yymmdd(const QDate& d) {
  return (d.year() % 100) * 10000LL + d.month() * 100 + d.day();
}

// The length of the first record of the window (through the CR LF after its "." line), or
// nullopt when the window holds no whole record.
std::optional<qsizetype> recordLength(const QByteArray& window) {
  const qsizetype head = window.indexOf("\r\n\r\n");
  if (head < 0) return std::nullopt;
  const qsizetype dot = window.indexOf("\r\n.", head + 4);
  if (dot < 0) return std::nullopt;
  const qsizetype lineEnd = window.indexOf("\r\n", dot + 3);
  return lineEnd < 0 ? window.size() : lineEnd + 2;
}

// The date digits of the record's "PosID: " label; nullopt without a readable label.
std::optional<long long> recordDate(const QByteArray& record) {
  static const QByteArray kLabel = QByteArrayLiteral("PosID: ");
  const qsizetype at = record.indexOf(kLabel);
  if (at < 0) return std::nullopt;
  // Only a twelve-digit identifier dates a record; a longer one never expired.
  if (record.mid(at + kLabel.size() + 12, 2) != "\r\n") return std::nullopt;
  const QByteArray digits = record.mid(at + kLabel.size(), 6);
  if (digits.size() != 6) return std::nullopt;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return digits.toLongLong();
}

// A whole record including the line end of its "." line.
bool holdsWholeRecord(const QByteArray& window) {
  const qsizetype head = window.indexOf("\r\n\r\n");
  if (head < 0) return false;
  const qsizetype dot = window.indexOf("\r\n.", head + 4);
  return dot >= 0 && window.indexOf("\r\n", dot + 3) >= 0;
}

// Copies the records dated cutoff or later to Pop3.Cut; false when nothing is to be expired or
// the files cannot be handled.
bool cutStore(const QString& storePath, const QString& cutPath, long long cutoff) {
  ExclusiveFile store(storePath);
  if (!store.open(QIODevice::ReadOnly)) return false;
  QFile cut(cutPath);
  if (!cut.open(QIODevice::WriteOnly | QIODevice::NewOnly, kPrivateFile)) return false;
  qint64 offset = 0;
  bool first = true;
  for (;;) {
    // Records longer than the window are read whole.
    const auto window = ReadRecordWindow(store.file(), offset, kWindow, holdsWholeRecord);
    if (!window || window->isEmpty()) break;
    const auto length = recordLength(*window);
    if (!length) break;  // a torn tail is no record
    const QByteArray record = window->left(*length);
    offset += *length;
    const auto date = recordDate(record);
    const bool keep = date && *date >= cutoff;
    if (first && keep) return false;
    first = false;
    if (keep && cut.write(record) != record.size()) return false;
  }
  return SyncToDisk(cut);
}

void forgetOldPositions(GatewayContext& g, long long cutoff) {
  IniFile* ini = g.settingsFile();
  if (!ini) return;
  ini->update([cutoff](IniText& text) {
    const QString section = QStringLiteral("ClientsPos");
    for (const auto& e : text.entries(section)) {
      if (e.second.size() <= 6) continue;
      bool number = false;
      const long long date = e.second.chopped(6).toLongLong(&number);
      if (!number || date < cutoff) text.removeKey(section, e.first);
    }
  });
}

// A saved position above every record of the store would hide every later record from that PC;
// it goes back to the store's last identifier (0 for an empty store).
void bringBackPositions(GatewayContext& g) {
  IniFile* ini = g.settingsFile();
  if (!ini) return;
  long long last = 0;
  {
    ExclusiveFile store(g.state().file(files::kPop3Tmp));
    if (store.open(QIODevice::ReadOnly)) {
      last = LastPosID(store.file());
    } else if (store.error() != ExclusiveFile::OpenError::NotFound) {
      return;
    }
  }
  const QString section = QStringLiteral("ClientsPos");
  const auto above = [last](const QString& value) {
    bool number = false;
    const long long pos = value.trimmed().toLongLong(&number);
    return number && pos > last;
  };
  const auto entries = ini->read().entries(section);
  if (std::none_of(entries.begin(), entries.end(), [&](const auto& e) { return above(e.second); }))
    return;
  ini->update([&](IniText& text) {
    for (const auto& e : text.entries(section)) {
      if (!above(e.second)) continue;
      text.setValue(section, e.first, QString::number(last));
      g.Log(true, QStringLiteral("ClientsPos %1 = %2 above the POP3 store, set to %3")
                      .arg(e.first, e.second, QString::number(last)));
    }
  });
}

void expire(GatewayContext& g) {
  const GatewayState& gs = g.state();
  if (gs.cfg.ExpireDay == 0) return;
  const QString storePath = gs.file(files::kPop3Tmp);
  const QString cutPath = gs.file(files::kPop3Cut);
  // A cut file without a store is what an interrupted replacement left: it is the store.
  if (!QFile::exists(storePath) && QFile::exists(cutPath)) QFile::rename(cutPath, storePath);
  QFile::remove(cutPath);
  const long long cutoff = yymmdd(fromDateTime(g.clock().now()).date().addDays(-gs.cfg.ExpireDay));
  if (QFile::exists(storePath)) {
    if (cutStore(storePath, cutPath, cutoff)) {
      // The store is replaced in one step, and only once the kept records are on disk in the
      // cut file; the cut file stays when it could not take the store's name.
      if (!ReplaceSynced(cutPath, storePath)) {
        g.Log(true, QStringLiteral("!!! %1 - rename to %2 failed !!!")
                        .arg(QLatin1String(files::kPop3Cut), QLatin1String(files::kPop3Tmp)));
        forgetOldPositions(g, cutoff);
        return;
      }
    }
    QFile::remove(cutPath);
  }
  forgetOldPositions(g, cutoff);
}

}  // namespace

void Pop3Expire(GatewayContext& g) {
  expire(g);
  bringBackPositions(g);
}

}  // namespace kolvane
