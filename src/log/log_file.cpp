#include "log/log_file.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <limits>

#include "log/log_formats.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

bool allDigits(QStringView text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
  });
}

}  // namespace

LogFile::LogFile(const Clock& clock, QString programDir)
    : clock_(clock), dir_(std::move(programDir)) {}

void LogFile::prepare(const LogOptions& options) {
  if (!options.LogFiOn) return;
  QFile::remove(dir_ + QStringLiteral("Log.old"));
  QFile::rename(dir_ + QStringLiteral("Log.txt"), dir_ + QStringLiteral("Log.old"));
  makeName(options);
}

void LogFile::makeName(const LogOptions& options) {
  const QString date = formatDateMask(fromDateTime(clock_.now()).date(), options.LogFiDateMask);
  if (name_.isEmpty()) {
    number_ = highestNumberOnDisk(date) + 1;
  } else if (date != lastDate_) {
    number_ = 1;
  } else {
    ++number_;
  }
  name_ = dir_ + QStringLiteral("Log") + date + formatNumberMask(number_, options.LogFiNumMask) +
          QStringLiteral(".txt");
  lastDate_ = date;
}

qint64 LogFile::highestNumberOnDisk(const QString& date) const {
  const QString head = QStringLiteral("Log") + date;
  const QStringList names = QDir(dir_).entryList({head + QStringLiteral("*.txt")}, QDir::Files);
  qint64 highest = 0;
  for (const QString& name : names) {
    // The number starts after the date actually used, whatever the length of its mask.
    const QStringView digits = QStringView(name).mid(head.size()).chopped(4);
    bool ok = false;
    const qint64 value = allDigits(digits) ? digits.toLongLong(&ok) : 0;
    if (ok && value < std::numeric_limits<qint64>::max()) highest = std::max(highest, value);
  }
  return highest;
}

void LogFile::append(const QString& line, const LogOptions& options) {
  if (name_.isEmpty()) return;
  qint64 sizeBefore = 0;
  {
    QFile file(name_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, kPrivateFile)) return;
    sizeBefore = file.size();
    file.write(line.toUtf8() + "\r\n");
  }
  if (sizeBefore > options.LogSeekMax) makeName(options);
}

}  // namespace kolvane
