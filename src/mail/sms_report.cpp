#include "mail/sms_report.h"

#include <QDateTime>

#include "context/gateway_context.h"
#include "gsm/modem_error_text.h"
#include "mail/mail_date.h"
#include "mail/pop3_routing.h"
#include "mail/quoted_printable.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

const QString kAttemptFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// The domain of the addresses received SMS come from ("<+>@kolvane.lan").
QByteArray GatewayDomain(const GatewayContext& g) {
  QByteArray pattern = g.state().cfg.InMailAdr.toUtf8().trimmed();
  const qsizetype at = pattern.lastIndexOf('@');
  if (at < 0) return kPseudoDomain;
  QByteArray domain = pattern.mid(at + 1);
  while (domain.endsWith('>')) domain.chop(1);
  return domain.isEmpty() ? QByteArray(kPseudoDomain) : domain;
}

QByteArray line(const QString& text) {
  return text.toUtf8() + "\r\n";
}

}  // namespace

QByteArray AttemptEntry(const SendAttempt& attempt) {
  return fromDateTime(attempt.at).toString(kAttemptFormat).toLatin1() + ' ' + attempt.reason;
}

std::optional<SendAttempt> ParseAttempt(const QByteArray& entry) {
  const qsizetype stampSize = kAttemptFormat.size();
  const QDateTime at =
      QDateTime::fromString(QString::fromLatin1(entry.left(stampSize)), kAttemptFormat);
  if (!at.isValid()) return std::nullopt;
  return SendAttempt{toDateTime(at), entry.mid(stampSize + 1)};
}

QString ReasonText(GatewayContext& g, const QByteArray& reason) {
  if (const auto result = at::FinalResultOf(reason)) return ModemErrorText(g.language(), *result);
  return QString::fromUtf8(reason);
}

QByteArray GatewayAddress(const GatewayContext& g) {
  return "<kolvane@" + GatewayDomain(g) + '>';
}

QByteArray WrittenText(const tMailRec& job) {
  if (!job.Written.isEmpty()) return QpDecode(job.Written);
  QByteArray text = QpDecode(job.MimeBody);
  if (text.size() >= 7 && text[0] == 5 && text[1] == 0 && text[2] == 3 && text[6] == 0)
    text.remove(0, 7);
  return text;
}

tMailRec ReportRecord(GatewayContext& g, const tMailRec& job, const SmsReport& report) {
  tMailRec rec;
  rec.NamePC = job.NamePC;
  rec.From = GatewayAddress(g);
  rec.Toe = job.Toe;
  rec.Subj = report.mark + job.Subj;
  rec.Date = MailDateNow(g);
  // A reply to the report goes to the number as an SMS.
  if (!report.number.isEmpty()) rec.ReplyTo = '<' + PhoneToMailAddr(g, report.number) + '>';

  const QString number =
      report.number.isEmpty() ? QStringLiteral("?") : QString::fromUtf8(report.number);
  QByteArray body = line(fillPlaceholders(g.Text(463), {number}));
  if (!report.reason.isEmpty()) body += line(fillPlaceholders(g.Text(464), {report.reason}));
  if (!report.attempts.isEmpty()) {
    body += line(g.Text(465));
    for (const SendAttempt& a : report.attempts) {
      body += "  " + fromDateTime(a.at).toString(kAttemptFormat).toUtf8() + "  " +
              ReasonText(g, a.reason).toUtf8() + "\r\n";
    }
  }
  if (report.parts > 1) {
    body += line(fillPlaceholders(g.Text(467),
                                  {QString::number(report.part), QString::number(report.parts)}));
  }
  body += "\r\n" + line(g.Text(466)) + report.text;
  rec.MimeBody = QpKeepEdges(QpEncode(body));
  return rec;
}

}  // namespace kolvane
