#include "core/queue_listing.h"

#include "context/gateway_state.h"
#include "mail/quoted_printable.h"
#include "mail/store_file.h"
#include "platform/exclusive_file.h"

namespace kolvane {

namespace {

constexpr qint64 kWindow = 4096;
constexpr int kFirstWords = 40;

QString firstWordsOf(const QByteArray& body) {
  QString text = QString::fromUtf8(LogText(body)).simplified();
  if (text.size() > kFirstWords) text = text.left(kFirstWords - 1) + QChar(0x2026);
  return text;
}

// "yymmdd" + sequence as a day; empty for an identifier of another form.
QString dayOf(const QByteArray& posId) {
  if (posId.size() != 12) return {};
  return QStringLiteral("20%1-%2-%3")
      .arg(QString::fromLatin1(posId.mid(0, 2)), QString::fromLatin1(posId.mid(2, 2)),
           QString::fromLatin1(posId.mid(4, 2)));
}

StoreJobs readStore(const QString& folder, const char* name, qint64 from,
                    const SubjectRules& rules) {
  StoreJobs out{name, {}, true};
  ExclusiveFile file(folder + QLatin1String(name));
  if (!file.open(QIODevice::ReadOnly)) {
    out.readable = file.error() == ExclusiveFile::OpenError::NotFound;
    return out;
  }
  for (qint64 offset = from;;) {
    const auto window = ReadRecordWindow(file.file(), offset, kWindow, HoldsWholeRecord);
    if (!window) {
      out.readable = false;
      break;
    }
    if (window->isEmpty()) break;
    const tMailRec rec = StrToMailRec(*window, rules);
    // An unreadable stretch is no job; the job reader sets it aside in its turn.
    if (rec.EndPos < 0) break;
    offset += rec.EndPos + 1;
    if (!rec.OK) continue;
    out.jobs.push_back(
        {name, rec.TelNo, firstWordsOf(rec.MimeBody), dayOf(rec.PosID), rec.SendTime, 0});
  }
  return out;
}

}  // namespace

std::vector<StoreJobs> waitingJobs(const QString& folder, qint64 runPos, const SubjectRules& rules,
                                   bool jobInHand) {
  std::vector<StoreJobs> out;
  out.push_back(readStore(folder, files::kSmtpRun, std::max<qint64>(0, runPos), rules));
  if (jobInHand && !out.back().jobs.empty()) out.back().jobs.front().attempts = 1;
  for (const char* name : {files::kSmtpPriHTmp, files::kSmtpTmp, files::kSmtpWaitTmp}) {
    out.push_back(readStore(folder, name, 0, rules));
  }
  return out;
}

QStringList queueLines(const std::vector<StoreJobs>& stores) {
  QStringList lines{QStringLiteral("%1  %2  %3  %4  %5")
                        .arg(QStringLiteral("store"), -12)
                        .arg(QStringLiteral("number"), -16)
                        .arg(QStringLiteral("since"), -10)
                        .arg(QStringLiteral("attempts"))
                        .arg(QStringLiteral("text"))};
  for (const StoreJobs& s : stores) {
    if (!s.readable) {
      lines << QStringLiteral("%1  (held by a writer, not read)").arg(QLatin1String(s.store), -12);
      continue;
    }
    for (const WaitingJob& j : s.jobs) {
      lines << QStringLiteral("%1  %2  %3  %4  %5")
                   .arg(QLatin1String(j.store), -12)
                   .arg(QString::fromUtf8(j.telNo), -16)
                   .arg(j.since, -10)
                   .arg(j.attempts, -8)
                   .arg(j.firstWords);
    }
  }
  return lines;
}

}  // namespace kolvane
