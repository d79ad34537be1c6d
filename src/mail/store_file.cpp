#include "mail/store_file.h"

#include <QDate>
#include <algorithm>
#include <vector>

#include "core/gateway.h"

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

// Every "PosID: " label of the text followed by a readable date and sequence number.
std::vector<PosIdLabel> posIdLabels(const QByteArray& text) {
  static const QByteArray kLabel = QByteArrayLiteral("PosID: ");
  std::vector<PosIdLabel> labels;
  for (qsizetype at = 0; (at = text.indexOf(kLabel, at)) >= 0; ++at) {
    const QByteArray date = text.mid(at + kLabel.size(), 6);
    const QByteArray seq = text.mid(at + kLabel.size() + 6, 6);
    if (sixDigits(date) && sixDigits(seq)) labels.push_back({date.toLongLong(), seq.toLongLong()});
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
    auto labels = posIdLabels(store.read(size - from));
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

}  // namespace

std::unique_ptr<ExclusiveFile> FileOpenAppend(const QString& path) {
  auto file = std::make_unique<ExclusiveFile>(path);
  // Unbuffered: a write that fails has failed for good and can be taken back, nothing of it
  // is left in a buffer for the close to write.
  if (file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
    file->file().seek(file->file().size());
  return file;
}

QByteArray NewPosID(Gateway& g, QFile& store) {
  const QDate date = fromDateTime(g.clock().now()).date();
  long long today = (date.year() % 100) * 10000 + date.month() * 100 + date.day();
  long long next = 0;
  const qint64 pos = store.pos();
  if (store.size() > 0) {
    for (const PosIdLabel& label : tailLabels(store)) {
      if (label.date == today) {
        next = label.seq + 1;
      } else if (label.date < today) {
        next = 0;
      } else {
        next = label.seq + 1;
        today = label.date;
        g.Log(true, QStringLiteral("PosID: ") + QString::fromLatin1(sixDigitText(label.date)) +
                        QString::fromLatin1(sixDigitText(label.seq)) + QStringLiteral(" error"));
      }
    }
  }
  store.seek(pos);
  return sixDigitText(today) + sixDigitText(next);
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
