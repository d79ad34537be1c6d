#include "mail/store_file.h"

#include <QDate>
#include <algorithm>
#include <vector>

#include "context/gateway_context.h"

namespace kolvane {

namespace {

struct PosIdLabel {
  long long date;
  long long seq;
};

bool sixDigits(const QByteArray& text) {
  return text.size() == 6 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool operator<(const PosIdLabel& a, const PosIdLabel& b) {
  return a.date != b.date ? a.date < b.date : a.seq < b.seq;
}

// Every "PosID: " label that starts a record (at the start of the file or right after the
// previous record's "." line) and holds exactly twelve digits. A label inside a subject or a
// body is text, not an identifier.
std::vector<PosIdLabel> posIdLabels(const QByteArray& text, bool startsFile) {
  static const QByteArray kLabel = QByteArrayLiteral("PosID: ");
  static const QByteArray kRecordEnd = QByteArrayLiteral("\r\n.\r\n");
  std::vector<PosIdLabel> labels;
  for (qsizetype at = 0; (at = text.indexOf(kLabel, at)) >= 0; ++at) {
    const bool recordStart = at == 0 ? startsFile : text.mid(at - 5, 5) == kRecordEnd;
    const QByteArray date = text.mid(at + kLabel.size(), 6);
    const QByteArray seq = text.mid(at + kLabel.size() + 6, 6);
    const bool lineEnds = text.mid(at + kLabel.size() + 12, 2) == "\r\n";
    if (recordStart && lineEnds && sixDigits(date) && sixDigits(seq)) {
      labels.push_back({date.toLongLong(), seq.toLongLong()});
    }
  }
  return labels;
}

QByteArray sixDigitText(long long n) {
  return QByteArray::number(n).rightJustified(6, '0');
}

// The labels of the file's tail. A last record longer than the tail holds no label there, so
// the tail grows until it reaches one or the start of the file.
std::vector<PosIdLabel> tailLabels(QFile& store) {
  const qint64 size = store.size();
  for (qint64 window = 1024;; window *= 2) {
    const qint64 from = std::max<qint64>(0, size - window);
    if (!store.seek(from)) return {};
    auto labels = posIdLabels(store.read(size - from), from == 0);
    if (!labels.empty() || from == 0) return labels;
  }
}

qint64 readInto(QFile& file, QByteArray& buffer, qint64 count) {
  const qsizetype had = buffer.size();
  buffer.resize(had + count);
  const qint64 got = file.read(buffer.data() + had, count);
  buffer.resize(had + std::max<qint64>(got, 0));
  return got;
}

long long yymmdd(const QDate& d) {
  return (d.year() % 100) * 10000LL + d.month() * 100 + d.day();
}

std::optional<PosIdLabel> highestTailLabel(QFile& store) {
  if (store.size() <= 0) return std::nullopt;
  const qint64 pos = store.pos();
  const auto labels = tailLabels(store);
  store.seek(pos);
  if (labels.empty()) return std::nullopt;
  return *std::max_element(labels.begin(), labels.end());
}

QByteArray idText(const PosIdLabel& id) {
  return sixDigitText(id.date) + sixDigitText(id.seq);
}

}  // namespace

std::unique_ptr<ExclusiveFile> FileOpenAppend(const QString& path) {
  auto file = std::make_unique<ExclusiveFile>(path);
  // Unbuffered: a write that fails has failed for good and can be taken back, nothing of it
  // is left in a buffer for the close to write.
  if (file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
    file->file().seek(file->file().size());
  return file;
}

bool AppendWhole(QFile& store, const QByteArray& bytes) {
  const qint64 before = store.size();
  if (store.write(bytes) == bytes.size() && store.flush() && SyncToDisk(store)) return true;
  // Whatever part reached the file goes again, so the next record starts where this one began.
  store.resize(before);
  return false;
}

QByteArray PosIdAfter(const QByteArray& id) {
  PosIdLabel label{id.left(6).toLongLong(), id.mid(6).toLongLong()};
  if (label.seq < 999999) return sixDigitText(label.date) + sixDigitText(label.seq + 1);
  const QDate day =
      QDate(2000 + static_cast<int>(label.date / 10000), static_cast<int>(label.date / 100 % 100),
            static_cast<int>(label.date % 100))
          .addDays(1);
  // Past the last representable day nothing higher exists; the last identifier is repeated.
  if (!day.isValid() || day.year() > 2099) return idText(label);
  return sixDigitText(yymmdd(day)) + sixDigitText(0);
}

long long LastPosID(QFile& store) {
  const auto last = highestTailLabel(store);
  return last ? idText(*last).toLongLong() : 0;
}

QByteArray NewPosID(GatewayContext& g, QFile& store) {
  const long long today = yymmdd(fromDateTime(g.clock().now()).date());
  const auto last = highestTailLabel(store);
  if (!last || last->date < today) return sixDigitText(today) + sixDigitText(0);
  if (last->date > today) {
    g.Log(true, QStringLiteral("PosID: ") + QString::fromLatin1(idText(*last)) +
                    QStringLiteral(" error"));
  }
  return PosIdAfter(idText(*last));
}

bool HoldsWholeRecord(const QByteArray& window) {
  const qsizetype head = window.indexOf("\r\n\r\n");
  return head >= 0 && window.indexOf("\r\n.", head + 4) >= 0;
}

std::optional<QByteArray> ReadRecordWindow(QFile& file, qint64 offset, qint64 minSize,
                                           const std::function<bool(const QByteArray&)>& whole) {
  QByteArray window;
  if (!file.seek(offset)) return window;
  qint64 want = std::max<qint64>(minSize, 1);
  for (;;) {
    const qint64 got = readInto(file, window, want);
    if (got < 0) return std::nullopt;
    if (got < want || whole(window)) return window;
    want = window.size();
  }
}

std::optional<QByteArray> ReadWholeFile(const QString& path) {
  ExclusiveFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.file().readAll();
  if (file.file().error() != QFileDevice::NoError) return std::nullopt;
  return bytes;
}

}  // namespace kolvane
