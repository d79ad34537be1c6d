#include "log/log_writer.h"

#include "log/log_formats.h"
#include "log/log_memo.h"

namespace kolvane {

namespace {

QString withTrailingSlash(QString dir) {
  if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir;
}

}  // namespace

LogWriter::LogWriter(const Clock& clock, QString programDir)
    : clock_(clock),
      dir_(withTrailingSlash(std::move(programDir))),
      timeSeparator_(regionalTimeSeparator()),
      file_(clock, dir_) {}

void LogWriter::configure(const LogOptions& options) {
  std::lock_guard lock(mutex_);
  options_ = options;
}

LogOptions LogWriter::options() const {
  std::lock_guard lock(mutex_);
  return options_;
}

void LogWriter::setEchoSink(EchoSink sink) {
  std::lock_guard lock(mutex_);
  echo_ = std::move(sink);
}

void LogWriter::setWatch(Watch watch) {
  std::lock_guard lock(mutex_);
  watch_ = std::move(watch);
}

void LogWriter::Log(bool show, const QString& text) {
  std::lock_guard lock(mutex_);
  logLocked(show, text);
}

void LogWriter::Log8(bool show, const QByteArray& text) {
  Log(show, QString::fromUtf8(text));
}

void LogWriter::debug(const QString& text) {
  std::lock_guard lock(mutex_);
  logLocked(options_.Debug, text);
}

void LogWriter::status(const QString& kind, const QString& text) {
  std::lock_guard lock(mutex_);
  const bool changed = status_.shows(kind, text, clock_.tick());
  logLocked(changed || options_.Debug, text);
}

void LogWriter::statusEnded(const QString& prefix) {
  std::lock_guard lock(mutex_);
  status_.forget(prefix);
}

void LogWriter::logLocked(bool show, const QString& text) {
  const QString line =
      logTimeStamp(fromDateTime(clock_.now()).time(), timeSeparator_) + QStringLiteral("  ") + text;
  if (options_.ExceptReport) history_.put(line);
  if (!show) return;
  pending_.push_back(line);
  // Lines the log window would drop at once do not wait for it either.
  while (pending_.size() > static_cast<std::size_t>(MemoLineLimit(options_.MeMaxLi)))
    pending_.pop_front();
  if (echo_) echo_(line);
  if (watch_) watch_(text);
  if (options_.LogFiOn) file_.append(line, options_);
}

std::optional<QString> LogWriter::takePendingLine() {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) return std::nullopt;
  QString line = std::move(pending_.front());
  pending_.pop_front();
  return line;
}

std::size_t LogWriter::pendingCount() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

void LogWriter::clearPending() {
  std::lock_guard lock(mutex_);
  pending_.clear();
}

HistoryRing LogWriter::history() const {
  std::lock_guard lock(mutex_);
  return history_;
}

QStringList LogWriter::historyInReportOrder() const {
  std::lock_guard lock(mutex_);
  return history_.inReportOrder();
}

void LogWriter::prepareLogFiles() {
  std::lock_guard lock(mutex_);
  file_.prepare(options_);
  exceptReportPath_ = dir_ + QStringLiteral("ExceptReport.txt");
}

QString LogWriter::logFileName() const {
  std::lock_guard lock(mutex_);
  return file_.currentName();
}

QString LogWriter::exceptReportPath() const {
  std::lock_guard lock(mutex_);
  return exceptReportPath_;
}

}  // namespace kolvane
