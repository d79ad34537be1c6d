#include "mail/mail_rec.h"

#include <QDateTime>
#include <optional>

#include "mail/mime_text.h"
#include "mail/pseudo_address.h"
#include "settings/settings.h"

namespace kolvane {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");
// The preset time fixed when the job was accepted; older records name it only in the subject.
const QByteArray kPreSetLine = QByteArrayLiteral("\r\nPreSetTime: ");
const QString kPreSetFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QByteArray kDateLine = QByteArrayLiteral("\r\nDate: ");
const QByteArray kReplyToLine = QByteArrayLiteral("\r\nReply-To: ");
const QByteArray kWrittenLine = QByteArrayLiteral("\r\nWritten: ");
const QByteArray kAttemptLine = QByteArrayLiteral("\r\nAttempt: ");

// Header values come from single lines; a stray line break would end the record early.
QByteArray headerValue(const QByteArray& value) {
  QByteArray v = value;
  v.replace('\r', ' ').replace('\n', ' ');
  return v;
}

bool isBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

QByteArray trimmedBody(const QByteArray& body) {
  qsizetype begin = 0;
  qsizetype end = body.size();
  while (begin < end && isBlank(body[begin])) ++begin;
  while (end > begin && isBlank(body[end - 1])) --end;
  return body.mid(begin, end - begin);
}

// No body line may start with "." or it would end the record.
QByteArray dotSafeBody(const QByteArray& body) {
  QByteArray b = kCrLf + trimmedBody(body);
  for (qsizetype i = 0; (i = b.indexOf("\r\n..", i)) >= 0; i += 3) b.remove(i + 2, 1);
  for (qsizetype i = 0; (i = b.indexOf("\r\n.", i)) >= 0; i += 3) b.insert(i + 2, ' ');
  return b.mid(2);
}

// The value of a header line that only some records have: searched from the Subject line to
// the end of the headers, so that no body text and no later record can stand in for it.
std::optional<QByteArray> optionalLine(const QByteArray& window, qsizetype head,
                                       const QByteArray& line) {
  const qsizetype subject = window.indexOf("\r\nSubject: ");
  if (head < 0 || subject < 0 || subject > head) return std::nullopt;
  const qsizetype at = window.left(head + 2).indexOf(line, subject + 2);
  if (at < 0) return std::nullopt;
  const qsizetype start = at + line.size();
  return window.mid(start, window.indexOf(kCrLf, start) - start);
}

// Every value of a header line a record may have several times, in order.
QList<QByteArray> repeatedLines(const QByteArray& window, qsizetype head, const QByteArray& line) {
  QList<QByteArray> values;
  const qsizetype subject = window.indexOf("\r\nSubject: ");
  if (head < 0 || subject < 0 || subject > head) return values;
  const QByteArray headers = window.left(head + 2);
  for (qsizetype at = headers.indexOf(line, subject + 2); at >= 0;
       at = headers.indexOf(line, at + line.size())) {
    const qsizetype start = at + line.size();
    values << window.mid(start, window.indexOf(kCrLf, start) - start);
  }
  return values;
}

QByteArray labelValue(const QByteArray& window, const char* label) {
  const qsizetype at = window.indexOf(label);
  if (at < 0) return {};
  const qsizetype start = at + qstrlen(label);
  const qsizetype end = window.indexOf(kCrLf, start);
  if (end < 0) return {};
  return window.mid(start, end - start);
}

}  // namespace

SubjectRules subjectRules(const Settings& cfg, DateTime now) {
  return {cfg.ReportPrefix.toLocal8Bit(), cfg.PreSetPrefix.toLocal8Bit(), cfg.PreSetMaskDT, now};
}

QByteArray MailRecToStr(const tMailRec& rec) {
  QByteArray out;
  out += "PosID: " + headerValue(rec.PosID) + kCrLf;
  out += "NamePC: " + headerValue(rec.NamePC) + kCrLf;
  out += "From: " + headerValue(rec.From) + kCrLf;
  out += "To: " + headerValue(rec.Toe) + kCrLf;
  out += "Subject: " + headerValue(rec.Subj) + kCrLf;
  if (!rec.Date.isEmpty()) out += kDateLine.mid(2) + headerValue(rec.Date) + kCrLf;
  if (!rec.ReplyTo.isEmpty()) out += kReplyToLine.mid(2) + headerValue(rec.ReplyTo) + kCrLf;
  if (!rec.Written.isEmpty()) out += kWrittenLine.mid(2) + headerValue(rec.Written) + kCrLf;
  for (const QByteArray& attempt : rec.Attempts)
    out += kAttemptLine.mid(2) + headerValue(attempt) + kCrLf;
  if (rec.SendTime != 0) {
    out +=
        kPreSetLine.mid(2) + fromDateTime(rec.SendTime).toString(kPreSetFormat).toLatin1() + kCrLf;
  }
  out += kCrLf;
  out += dotSafeBody(rec.MimeBody) + kCrLf;
  out += "." + kCrLf;
  return out;
}

tMailRec StrToMailRec(const QByteArray& window, const SubjectRules& rules) {
  tMailRec rec;
  rec.PosID = labelValue(window, "PosID: ");
  rec.NamePC = labelValue(window, "NamePC: ");
  rec.From = labelValue(window, "From: ");
  rec.Toe = labelValue(window, "To: ");
  rec.Subj = labelValue(window, "Subject: ");

  if (const auto own = OwnJobNumber(rec.NamePC, rec.Toe)) {
    rec.TelNo = *own;
  } else {
    rec.TelNo = TelNoFromStr(rec.Toe);
    if (rec.TelNo.size() < 4) rec.TelNo = TelNoFromSubject(rec.Subj);
    if (rec.TelNo.size() < 4) rec.TelNo.clear();
  }

  const qsizetype head = window.indexOf("\r\n\r\n");
  rec.Date = optionalLine(window, head, kDateLine).value_or(QByteArray());
  rec.ReplyTo = optionalLine(window, head, kReplyToLine).value_or(QByteArray());
  rec.Written = optionalLine(window, head, kWrittenLine).value_or(QByteArray());
  rec.Attempts = repeatedLines(window, head, kAttemptLine);
  const auto fixed = optionalLine(window, head, kPreSetLine);
  if (fixed) {
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(*fixed), kPreSetFormat);
    if (at.isValid()) rec.SendTime = toDateTime(at);
  }
  if (!rec.Subj.isEmpty()) {
    if (!fixed) rec.SendTime = PreSetTimeParse(rec.Subj, rules);
    rec.Report =
        !rules.ReportPrefix.isEmpty() && rec.Subj.toUpper().contains(rules.ReportPrefix.toUpper());
  }

  if (head < 0) return rec;
  const qsizetype bodyStart = head + 4;
  const qsizetype dot = window.indexOf("\r\n.", bodyStart);
  if (dot < 0) return rec;
  rec.MimeBody = window.mid(bodyStart, dot - bodyStart);
  rec.EndPos = static_cast<std::int32_t>(dot + 4);
  rec.OK = !rec.NamePC.isEmpty() && !rec.From.isEmpty() && !rec.Toe.isEmpty();
  return rec;
}

QByteArray TelNoFromStr(const QByteArray& text) {
  const QByteArray t = text + ' ';
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (qsizetype i = 0; i + 1 < t.size(); ++i) {
    if ((t[i] == '+' || digit(t[i])) && digit(t[i + 1])) {
      qsizetype end = i + 1;
      while (end < t.size() && digit(t[end])) ++end;
      return t.mid(i, end - i);
    }
  }
  return {};
}

QByteArray TelNoFromSubject(const QByteArray& subject) {
  const QByteArray text = subject.contains("=?") ? DecodeEncodedWords(subject).toUtf8() : subject;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!(text[i] == '+' || digit(text[i])) || (i > 0 && digit(text[i - 1]))) continue;
    qsizetype end = i + 1;
    while (end < text.size() && digit(text[end])) ++end;
    const QByteArray run = text.mid(i, end - i);
    // A time, a date or a count is no telephone number.
    if (run.size() >= 6 || ((run.startsWith('+') || run.startsWith("00")) && run.size() >= 4)) {
      return run;
    }
    i = end - 1;
  }
  // An order number, a count or a time is no reason to send an SMS anywhere.
  return {};
}

}  // namespace kolvane
