#include "log/traffic_logs.h"

#include "log/traffic_log_format.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

QString withTrailingSlash(QString dir) {
  if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir;
}

}  // namespace

TrafficLogFile::TrafficLogFile(const Clock& clock, std::unique_ptr<QFile> file)
    : clock_(&clock), file_(std::move(file)) {}

void TrafficLogFile::write(const QByteArray& tag, const QByteArray& text) {
  if (!file_) return;
  file_->write(trafficLineBytes(fromDateTime(clock_->now()), tag, text));
  file_->flush();
}

TrafficLogs::TrafficLogs(const Clock& clock, QString programDir)
    : clock_(clock), dir_(withTrailingSlash(std::move(programDir))) {}

void TrafficLogs::configure(const TrafficLogMasks& masks) {
  std::lock_guard lock(mutex_);
  masks_ = masks;
  made_ = false;
}

QString TrafficLogs::pathFor(const QString& pattern) {
  std::lock_guard lock(mutex_);
  const DateTime now = clock_.now();
  if (!made_ || dayOf(now) != madeOnDay_) {
    const QDate today = fromDateTime(now).date();
    const std::array<const QString*, 3> masks = {&masks_.SmtpTxtMask, &masks_.Pop3TxtMask,
                                                 &masks_.SentOutTxtMask};
    for (std::size_t i = 0; i < masks.size(); ++i) {
      const QString name = trafficFileName(*masks[i], today);
      paths_[i] = name.isEmpty() ? QString() : dir_ + name;
    }
    madeOnDay_ = dayOf(now);
    made_ = true;
  }
  if (pattern == masks_.SmtpTxtMask) return paths_[0];
  if (pattern == masks_.Pop3TxtMask) return paths_[1];
  if (pattern == masks_.SentOutTxtMask) return paths_[2];
  return {};
}

TrafficLogFile TrafficLogs::open(const QString& pattern) {
  const QString path = pathFor(pattern);
  if (path.isEmpty()) return {};
  auto file = std::make_unique<QFile>(path);
  if (!file->open(QIODevice::WriteOnly | QIODevice::Append, kPrivateFile)) return {};
  return TrafficLogFile(clock_, std::move(file));
}

void TrafficLogs::trafficLine(const QString& pattern, const QByteArray& tag,
                              const QByteArray& text) {
  open(pattern).write(tag, text);
}

}  // namespace kolvane
