#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <array>
#include <memory>
#include <mutex>

#include "platform/clock.h"

namespace kolvane {

// Name patterns of the three traffic logs; the settings loader fills them.
struct TrafficLogMasks {
  QString Pop3TxtMask = QStringLiteral("Pop3_YYMM.txt");
  QString SmtpTxtMask = QStringLiteral("Smtp_YYMM.txt");
  QString SentOutTxtMask = QStringLiteral("SentOut_YYMM.txt");
};

// A traffic log opened for appending, or none. Closed at the latest when destroyed.
class TrafficLogFile {
 public:
  TrafficLogFile() = default;
  TrafficLogFile(const Clock& clock, std::unique_ptr<QFile> file);

  bool isOpen() const { return file_ != nullptr; }
  // Appends one traffic line; does nothing when none is open.
  void write(const QByteArray& tag, const QByteArray& text);
  void close() { file_.reset(); }

 private:
  const Clock* clock_ = nullptr;
  std::unique_ptr<QFile> file_;
};

// The SMTP, POP3 and sent-out traffic logs in the program folder. The file names follow the
// date: they are made again at the first use on a new day.
class TrafficLogs {
 public:
  TrafficLogs(const Clock& clock, QString programDir);

  void configure(const TrafficLogMasks& masks);
  // Full path of the log that pattern selects; empty when the pattern is not one of the three
  // configured ones or gives no name.
  QString pathFor(const QString& pattern);
  TrafficLogFile open(const QString& pattern);
  // Open, write one line, close.
  void trafficLine(const QString& pattern, const QByteArray& tag, const QByteArray& text);

 private:
  const Clock& clock_;
  const QString dir_;
  std::mutex mutex_;
  TrafficLogMasks masks_;
  std::array<QString, 3> paths_;
  long long madeOnDay_ = 0;
  bool made_ = false;
};

}  // namespace kolvane
