#include "mail/job_reader.h"

#include <QFile>

#include "context/gateway_context.h"
#include "gsm/gsm_alphabet.h"
#include "gsm/relation_phases.h"
#include "gsm/utf8_conversion.h"
#include "mail/quoted_printable.h"
#include "mail/sms_report.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr qint64 kWindow = 1024;
constexpr int kMaxGsmChars = 160;
constexpr int kMaxUcs2Chars = 70;

QString runFault(const char* what) {
  return QStringLiteral("!!! ") + QLatin1String(files::kSmtpRun) + QLatin1String(what);
}

// The bytes at SmtpRunPos, at least the first whole record of them; empty when nothing could
// be read. A run file read empty is done with.
QByteArray readChunk(GatewayContext& g) {
  GatewayState& gs = g.state();
  const QString path = gs.file(files::kSmtpRun);
  ExclusiveFile run(path);
  if (!run.open(QIODevice::ReadOnly)) {
    g.Log(true, runFault(" - OpenFile fault !!!"));
    return {};
  }
  const qint64 pos = std::max(gs.cfg.SmtpRunPos, 0);
  const auto chunk = ReadRecordWindow(run.file(), pos, kWindow, HoldsWholeRecord);
  gs.SmtpRunSize = static_cast<std::int32_t>(run.file().size());
  run.close();
  if (chunk && !chunk->isEmpty()) return *chunk;
  QFile::remove(path);
  if (!chunk) g.Log(true, runFault(" - ReadFile error !!!"));
  return {};
}

// A concatenation header (05 00 03 reference count number, then 0) leads the text of a part.
void takeConcatHeader(GatewayState& gs) {
  gs.JobLoID = gs.JobLoHi = gs.JobLoNo = 0;
  const QByteArray& raw = gs.JobRawText;
  if (raw.size() < 7 || raw[0] != 5 || raw[1] != 0 || raw[2] != 3 || raw[6] != 0) return;
  gs.JobLoID = static_cast<std::uint8_t>(raw[3]);
  gs.JobLoHi = static_cast<std::uint8_t>(raw[4]);
  gs.JobLoNo = static_cast<std::uint8_t>(raw[5]);
  gs.JobRawText.remove(0, 7);
}

// Takes the record as the job in hand. Text mode sends the wide text itself: one longer than a
// UCS-2 SMS is refused, never cut; the result is then its limit, else 0.
int takeJob(GatewayState& gs, const tMailRec& rec) {
  gs.JobNamePC = rec.NamePC;
  gs.JobTelNo = rec.TelNo;
  gs.JobSubj = rec.Subj;
  gs.JobReport = rec.Report;
  gs.JobRawText = QpDecode(rec.MimeBody);
  takeConcatHeader(gs);
  const QByteArray ascii = Utf8TranslitToAscii(gs.JobRawText);
  gs.JobWideText = ascii == gs.JobRawText ? QString() : QString::fromUtf8(gs.JobRawText);
  gs.JobText = Utf8ToGsmAlphabet(ascii);
  const int wideOver = gs.cfg.PDUText && gs.JobWideText.size() > kMaxUcs2Chars ? kMaxUcs2Chars : 0;
  gs.JobOk = !gs.JobTelNo.isEmpty() && gs.JobText.size() <= kMaxGsmChars && wideOver == 0;
  return wideOver;
}

int readyResult(GatewayState& gs) {
  if (gs.cfg.PDUText) {
    gs.JobUCS2 = !gs.JobWideText.isEmpty();
    if (!gs.JobUCS2) gs.JobText = TextModeForm(gs.JobText);
  }
  const std::uint8_t charset = gs.JobUCS2 ? 1 : 0;
  if (gs.LastCharset == charset) return kJobReady;
  gs.LastCharset = charset;
  return kJobReadyNewCharset;
}

// A well-formed job that cannot be sent goes back to its sender through the POP3 store; a wide
// text too long for a UCS-2 SMS names the limit.
void reportUndispatched(GatewayContext& g, const tMailRec& rec, int over) {
  GatewayState& gs = g.state();
  static const QByteArray kMark = QByteArrayLiteral("Undispatched SMS: ");
  const QString limit =
      over > 0 ? fillPlaceholders(g.Text(149), {QString::number(over)}) : QString();
  SmsReport about;
  about.mark = over > 0 ? kMark + " (" + limit.toLocal8Bit() + ") " : kMark;
  about.number = gs.JobTelNo;
  if (gs.JobTelNo.isEmpty()) {
    about.reason = g.Text(470);
  } else {
    about.reason =
        over > 0 ? limit : fillPlaceholders(g.Text(149), {QString::number(kMaxGsmChars)});
  }
  about.text = WrittenText(rec);
  tMailRec head = rec;
  head.Subj = gs.JobSubj;
  const tMailRec report = ReportRecord(g, head, about);
  if (AppendRecord(g, gs.file(files::kPop3Tmp), report, true) != AppendResult::Failed) {
    g.traffic().trafficLine(
        gs.cfg.Pop3TxtMask, gs.JobTelNo,
        '!' + kMark + '!' + LogTextOfRaw(gs.JobRawText) + '(' + gs.JobRawText + ')');
    gs.Lamps.pop3Bits |= kLampStore;
  }
  g.Log(true, QString::fromLocal8Bit(report.Subj));
}

// Bytes that hold no job are kept aside for a look by hand.
void keepMishmash(GatewayContext& g, const QByteArray& chunk) {
  g.Log(true, runFault(" - Mishmash in file !!!"));
  AppendBytes(g, MishmashPath(g, QLatin1String(files::kSmtpRun)), MishmashLine(g, chunk));
}

}  // namespace

void AdvanceSmtpRunPos(GatewayContext& g, std::int32_t next) {
  g.state().cfg.SmtpRunPos = next;
  if (IniFile* ini = g.settingsFile()) {
    ini->setValue(QStringLiteral("CFG"), QStringLiteral("SmtpRunPos"), QString::number(next));
  }
}

int ReadNextJob(GatewayContext& g) {
  GatewayState& gs = g.state();
  const QByteArray chunk = readChunk(g);
  if (chunk.isEmpty()) return gs.JobLast ? kJobNoneAfterLast : kJobNone;

  const tMailRec rec = StrToMailRec(chunk, subjectRules(gs.cfg, g.clock().now()));
  gs.SmtpRunNext = std::max(gs.cfg.SmtpRunPos, 0) +
                   (rec.EndPos < 0 ? static_cast<std::int32_t>(chunk.size()) : rec.EndPos);
  if (gs.SmtpRunSize >= 0 && gs.SmtpRunNext + 10 > gs.SmtpRunSize) gs.JobLast = true;
  gs.JobRecord = rec.EndPos < 0 ? chunk : chunk.left(rec.EndPos + 1);
  const int over = takeJob(gs, rec);
  if (gs.JobOk) return readyResult(gs);

  if (rec.OK) {
    reportUndispatched(g, rec, gs.JobTelNo.isEmpty() ? 0 : over);
  } else {
    keepMishmash(g, chunk);
  }
  AdvanceSmtpRunPos(g, gs.SmtpRunNext);
  scheduleSendPhase(g);
  return kJobReported;
}

}  // namespace kolvane
