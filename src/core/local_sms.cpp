#include "core/local_sms.h"

#include "core/gateway.h"
#include "mail/pseudo_address.h"
#include "mail/quoted_printable.h"
#include "mail/sms_parts.h"
#include "mail/store_append.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

const QByteArray kLocalPC = QByteArrayLiteral("localhost");

tMailRec localRecord(const LocalSms& sms, const QByteArray& subject, const QByteArray& text) {
  tMailRec rec;
  rec.NamePC = kLocalPC;
  rec.From = sms.from;
  rec.Toe = PseudoRecipient(sms.telNo);
  rec.Subj = subject;
  // A leading dot or blank stays as written.
  rec.MimeBody = QpKeepEdges(QpEncode(text));
  return rec;
}

}  // namespace

LocalSmsResult StoreLocalSms(Gateway& g, const LocalSms& sms, QueueWhenHeld queue) {
  GatewayState& gs = g.state();
  const SmsSplit split = SplitSmsText(sms.text, LocalSmsCoding(sms.text, gs.cfg), gs.cfg);
  if (split.refusedOver > 0) {
    return {LocalSmsResult::Refused,
            fillPlaceholders(g.Text(149), {QString::number(split.refusedOver)})};
  }
  const std::uint8_t ref = split.concatenated ? NextConcatRef(gs.ConcatRef) : 0;
  QList<tMailRec> jobs;
  for (qsizetype i = 0; i < split.parts.size(); ++i) {
    const QByteArray header =
        split.concatenated ? ConcatHeader(ref, split.parts.size(), i + 1) : QByteArray();
    jobs << localRecord(sms, sms.subject, header + split.parts[i].toUtf8());
  }
  const AppendResult written = AppendRecords(g, gs.file(files::kSmtpTmp), jobs, queue);
  if (written == AppendResult::Failed) return {};
  if (written == AppendResult::Held) return {LocalSmsResult::Held, {}};
  gs.Lamps.smtpBits |= kLampStore;
  if (split.shortened) {
    g.Log(true, QStringLiteral("SMS to %1 sent in part: the first %2 SMS of its text")
                    .arg(QString::fromLatin1(sms.telNo))
                    .arg(jobs.size()));
  }
  return {LocalSmsResult::Stored, {}};
}

void ReportRefusedLocalSms(Gateway& g, const LocalSms& sms, const QString& reason) {
  GatewayState& gs = g.state();
  const tMailRec report = localRecord(
      sms, "Undispatched SMS:  (" + reason.toLocal8Bit() + ") " + sms.subject, sms.text.toUtf8());
  if (AppendRecord(g, gs.file(files::kPop3Tmp), report, true) != AppendResult::Failed) {
    g.traffic().trafficLine(gs.cfg.Pop3TxtMask, sms.telNo,
                            "!Undispatched SMS: !" + LogText(report.MimeBody));
    gs.Lamps.pop3Bits |= kLampStore;
  }
  g.Log(true, QString::fromLocal8Bit(report.Subj));
}

bool StoreOrReportLocalSms(Gateway& g, const LocalSms& sms) {
  const LocalSmsResult result = StoreLocalSms(g, sms);
  if (result.outcome == LocalSmsResult::Refused) ReportRefusedLocalSms(g, sms, result.reason);
  return result.outcome != LocalSmsResult::Failed;
}

}  // namespace kolvane
