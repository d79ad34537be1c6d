#include <algorithm>

#include "context/gateway_context.h"
#include "gsm/gsm_alphabet.h"
#include "gsm/utf8_conversion.h"
#include "mail/mail_date.h"
#include "mail/mail_recv.h"
#include "mail/pop3_routing.h"
#include "mail/quoted_printable.h"
#include "mail/sms_parts.h"
#include "mail/sms_report.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr int kSmsBytes = 160;
constexpr int kConcatPartBytes = 153;
constexpr std::uint8_t kGsmEscapeByte = 27;
constexpr DateTime kOneMinute = 60.0 / 86400.0;

// The first n bytes of a GSM text, one less when the cut would part an escape from its code.
qsizetype gsmCut(const QByteArray& text, qsizetype n) {
  if (n >= text.size()) return text.size();
  qsizetype i = 0;
  while (i < n) i += static_cast<std::uint8_t>(text[i]) == kGsmEscapeByte ? 2 : 1;
  return i > n ? n - 1 : n;
}

QList<QByteArray> gsmParts(QByteArray text, qsizetype size) {
  QList<QByteArray> parts;
  while (!text.isEmpty()) {
    const qsizetype n = std::max<qsizetype>(gsmCut(text, size), 1);
    parts << text.left(n);
    text.remove(0, n);
  }
  return parts;
}

QByteArray storedBody(const QByteArray& text) {
  return QpKeepEdges(QpEncode(text));
}

}  // namespace

MailPlan TMailRecv::MailToJobs() {
  GatewayState& gs = g_.state();
  const Settings& cfg = gs.cfg;
  const DateTime now = g_.clock().now();
  const QByteArray namePC = NamePC_IPAdr.toLocal8Bit();
  const QByteArray sender = From_Str.isEmpty() ? EnvelopeFrom : From_Str;

  MailPlan plan;
  plan.routePC = namePC;
  plan.jobStore = files::kSmtpTmp;

  // Preset time and priority are the mail's, so all its jobs share one store.
  bool presetFailed = false;
  if (cfg.PreSetTimeSw) {
    const SubjectRules rules = subjectRules(cfg, now);
    PreSetTimeAct = PreSetTimeParse(Subj_Str, rules);
    // Only a subject that names a preset time can name it wrongly.
    const bool named = Subj_Str.toUpper().contains(rules.PreSetPrefix.toUpper());
    presetFailed = PreSetTimeAct == 0 && cfg.PreSetErr && named;
    if (PreSetTimeAct > now + kOneMinute) {
      plan.jobStore = files::kSmtpWaitTmp;
      plan.earliestWait = PreSetTimeAct;
    }
  }
  if (cfg.PrioritySw && Importance) plan.jobStore = files::kSmtpPriHTmp;

  const int cutMax = std::clamp(cfg.CutEMax, 1, 255);
  for (const QByteArray& address : std::as_const(To_StrLi)) {
    const QByteArray toe = '<' + address + '>';
    QByteArray text = BodySMS_Str;
    bool ucs2 = false;
    // A text that survives transliteration unchanged goes in the GSM alphabet.
    if (cfg.SendUCS2SmsPermit && !BodySMS_Utf8Str.isEmpty() && BodySMS_Utf8WinOk &&
        Utf8TranslitToAscii(BodySMS_Utf8Str) != BodySMS_Utf8Str) {
      text = BodySMS_Utf8Str;
      ucs2 = true;
    }

    QString error;
    if (!OKChar && cfg.EmlSmsNoOk != 1) {
      error = g_.Text(145);
    } else if (IsNameMailAddr(g_, address)) {
      // A reply to a name: the number in its subject is the name's spelling, nobody's phone.
      error = g_.Text(500);
    } else if (TelNoFromStr(address).size() < 4) {
      if (To_StrLi.size() >= 2) {
        error = g_.Text(146);
      } else if (TelNoFromSubject(Subj_Str).size() < 4) {
        error = g_.Text(147);
      }
    }
    if (error.isEmpty() && presetFailed) error = g_.Text(148);

    bool concatenated = false;
    QByteArray sendText = text;
    QList<QByteArray> chunks;
    SmsSplit wide;
    if (error.isEmpty() && ucs2) {
      // A UCS-2 text is carried whole in parts, or refused: never cut to one SMS.
      wide = SplitSmsText(QString::fromUtf8(text), SmsCoding::Ucs2, cfg);
      if (wide.refusedOver > 0) {
        error = fillPlaceholders(g_.Text(149), {QString::number(wide.refusedOver)});
      } else if (wide.shortened) {
        g_.Log(true, QStringLiteral("SMS to %1 sent in part: the first %2 SMS of its text")
                         .arg(QString::fromLocal8Bit(address))
                         .arg(wide.parts.size()));
      }
    } else if (error.isEmpty()) {
      if (text.size() > kSmsBytes) {
        const int limit = !cfg.CutEMail
                              ? kSmsBytes
                              : cutMax * (cfg.ConcatenateSMS ? kConcatPartBytes : kSmsBytes);
        concatenated = cfg.CutEMail && cfg.ConcatenateSMS;
        if (text.size() > limit) {
          if (cfg.CutELong) {
            sendText = text.left(gsmCut(text, limit));
          } else {
            error = fillPlaceholders(g_.Text(149), {QString::number(limit)});
          }
        }
      }
      chunks = gsmParts(sendText, concatenated ? kConcatPartBytes : kSmsBytes);
      // Parts never part an escape pair, so a text of the full length can need one part more.
      if (error.isEmpty() && chunks.size() > cutMax) {
        if (cfg.CutELong) {
          chunks.resize(cutMax);
        } else {
          qsizetype fits = 0;
          for (qsizetype i = 0; i < cutMax; ++i) fits += chunks[i].size();
          error = fillPlaceholders(g_.Text(149), {QString::number(fits)});
        }
      }
    }

    // The text as the sender wrote it, for a report.
    const QByteArray written =
        ucs2 ? text : (BodySMS_Utf8WinOk ? BodySMS_Utf8Str : GsmAlphabetToText(text));
    if (!error.isEmpty()) {
      tMailRec head;
      head.NamePC = namePC;
      head.Toe = toe;
      head.Subj = Subj_Str;
      SmsReport about;
      about.mark = "Undispatched SMS:  (" + error.toLocal8Bit() + ") ";
      about.number =
          TelNoFromStr(address).size() >= 4 ? TelNoFromStr(address) : TelNoFromSubject(Subj_Str);
      about.reason = error;
      about.text = written;
      tMailRec report = ReportRecord(g_, head, about);
      report.Date = MailDate(fromDateTime(now));
      plan.reports << report;
      plan.reportTexts << storedBody(written);
      ++plan.undispatchedCommands;
      continue;
    }

    QList<QByteArray> parts;
    if (ucs2) {
      concatenated = wide.concatenated;
      for (const QString& part : std::as_const(wide.parts)) parts << part.toUtf8();
    } else {
      for (const QByteArray& chunk : std::as_const(chunks)) parts << GsmAlphabetToText(chunk);
    }
    // Kept with each part when what is sent differs from what was written.
    QByteArray joined;
    for (const QByteArray& part : std::as_const(parts)) joined += part;
    const QByteArray writtenKept =
        written.trimmed() == joined.trimmed() ? QByteArray() : QpEncode(written.trimmed());
    if (concatenated) {
      const std::uint8_t ref = NextConcatRef(gs.ConcatRef);
      for (qsizetype i = 0; i < parts.size(); ++i)
        parts[i].prepend(ConcatHeader(ref, parts.size(), i + 1));
    }

    for (const QByteArray& part : std::as_const(parts)) {
      tMailRec job;
      job.Written = writtenKept;
      job.NamePC = namePC;
      job.From = sender;
      job.Toe = toe;
      job.Subj = Subj_Str;
      job.MimeBody = storedBody(part);
      // Fixed now: a time-only preset read again later would move to the next day.
      job.SendTime = cfg.PreSetTimeSw ? PreSetTimeAct : 0;
      plan.jobs << job;
      if (cfg.SmtpToPop3Report) {
        tMailRec copy = job;
        copy.SendTime = 0;
        copy.Written.clear();
        copy.Date = MailDate(fromDateTime(now));
        copy.From = namePC;
        copy.Subj = Subj_Str + " ( " + g_.Text(150).toLocal8Bit() + " )";
        plan.copies << copy;
      }
    }
    const QByteArray telNo = TelNoFromStr(address);
    if (cfg.AutoPop3Routing && !telNo.isEmpty() && !parts.isEmpty()) plan.routedTelNos << telNo;
  }
  return plan;
}

}  // namespace kolvane
