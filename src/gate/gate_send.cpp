#include <QFile>
#include <functional>

#include "context/gateway_context.h"
#include "gate/gate_protocol.h"
#include "gsm/gate_frame.h"
#include "gsm/link_state.h"
#include "gsm/ucs2.h"
#include "gsm/utf8_conversion.h"
#include "mail/job_reader.h"
#include "mail/mail_rec.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "mail/store_file.h"
#include "mail/store_protocols.h"

namespace kolvane {

namespace {

constexpr qint64 kRunWindow = 800;
constexpr std::int32_t kShortestJob = 41;
constexpr qsizetype kShortestRead = 40;

struct RunRecord {
  QByteArray window;
  tMailRec rec;
};

// The record of the run file at pos; nullopt when the file cannot be read.
std::optional<RunRecord> readRunRecord(GatewayContext& g, std::int32_t pos) {
  ExclusiveFile run(g.state().file(files::kSmtpRun));
  if (!run.open(QIODevice::ReadOnly)) return std::nullopt;
  const auto window = ReadRecordWindow(run.file(), std::max(pos, 0), kRunWindow, HoldsWholeRecord);
  if (!window) return std::nullopt;
  return RunRecord{*window, StrToMailRec(*window, subjectRules(g.state().cfg, g.clock().now()))};
}

// Hands up to `limit` records (all when negative) from pos on to fn; stops at a short read or a
// record that cannot be parsed. Returns the position after the last record handed over.
std::int32_t takeRunRecords(GatewayContext& g, std::int32_t pos, int limit,
                            const std::function<void(const tMailRec&)>& fn) {
  for (int n = 0; limit < 0 || n < limit; ++n) {
    const auto r = readRunRecord(g, pos);
    if (!r || r->window.size() < kShortestRead || r->rec.EndPos < 0 || !r->rec.OK) break;
    fn(r->rec);
    pos += r->rec.EndPos;
  }
  return pos;
}

void requeue(GatewayContext& g, const tMailRec& rec) {
  AppendRecord(g, g.state().file(files::kSmtpTmp), rec, false);
}

// At an identification the device has forgotten what it did not confirm: those jobs, and the
// ones of the run file never handed over, go back to the mail store before it is taken over.
void requeueAtIdentification(GatewayContext& g) {
  GatewayState& gs = g.state();
  GateProtocolState& gp = g.link().Gate;
  const QString run = gs.file(files::kSmtpRun);
  if (QFile::exists(run)) {
    for (const std::int32_t pos : GateUnconfirmedPositions(g)) {
      // A job at or past the position was never handed over as far as the run file knows
      // (a stop came between the two notes); it goes back with the rest below.
      if (pos >= gs.cfg.SmtpRunPos) continue;
      takeRunRecords(g, pos, 1, [&g](const tMailRec& rec) { requeue(g, rec); });
    }
    takeRunRecords(g, gs.cfg.SmtpRunPos, -1, [&g](const tMailRec& rec) { requeue(g, rec); });
    QFile::remove(run);
  }
  gp.SentArr.clear();
  GateSaveUnconfirmed(g);
  gs.StoreMovePending = true;
  TakeOverMailStore(g);
}

struct GateText {
  QByteArray raw;  // UTF-8 as mailed, without a concatenation header
  QByteArray gsm;  // GSM alphabet
  QString wide;    // a UTF-16 copy when the ASCII transliteration changed the text
};

GateText prepareText(const QByteArray& body) {
  GateText t;
  t.raw = QpDecode(body);
  static const QByteArray kConcat("\x05\x00\x03", 3);
  if (t.raw.size() >= 7 && t.raw.startsWith(kConcat) && t.raw[6] == 0) t.raw.remove(0, 7);
  const QByteArray ascii = Utf8TranslitToAscii(t.raw);
  if (ascii != t.raw) t.wide = QString::fromUtf8(t.raw);
  t.gsm = Utf8ToGsmAlphabet(ascii);
  return t;
}

void reportInactiveModule(GatewayContext& g, tMailRec rec) {
  GatewayState& gs = g.state();
  rec.Subj += ", inactive MODULE";
  // A new identifier of the POP3 store, so that clients past the job's own date still see it.
  if (AppendRecord(g, gs.file(files::kPop3Tmp), rec, true) == AppendResult::Failed) return;
  g.traffic().trafficLine(gs.cfg.Pop3TxtMask, rec.TelNo,
                          "!!! inactive MODULE !!! " + LogText(rec.MimeBody));
  gs.Lamps.pop3Bits |= kLampStore;
}

}  // namespace

void GateSendNext(GatewayContext& g) {
  GatewayState& gs = g.state();
  GateProtocolState& gp = g.link().Gate;
  // Closing: the jobs left wait for the next run.
  if (gs.CloseWanted) return;
  if (gp.GateIdentified) {
    gp.GateIdentified = false;
    requeueAtIdentification(g);
  }
  if (!QFile::exists(gs.file(files::kSmtpRun))) return;
  const std::int32_t pos = std::max(gs.cfg.SmtpRunPos, 0);
  const auto r = readRunRecord(g, pos);
  if (!r) return;
  if (r->rec.EndPos < kShortestJob) {
    AdvanceSmtpRunPos(g, pos + static_cast<std::int32_t>(r->window.size()));
    return;
  }
  const tMailRec& rec = r->rec;
  ++gp.WriteSMSCnt;
  gp.SentArr.push_back({gp.WriteSMSCnt, pos, false, -1});
  // Noted before the run position moves past it, so a restart in between loses no job.
  GateSaveUnconfirmed(g);
  const GateText text = prepareText(rec.MimeBody);
  const bool debug = gs.cfg.Debug;
  g.Log(debug, QStringLiteral("<<< 4.Vysielanie SMS (PC_LAN do PRIMA_Gate) counter=%1 >>>")
                   .arg(gp.WriteSMSCnt));

  const bool ucs2 = gs.cfg.LiptelUCS2 && !text.wide.isEmpty();
  QByteArray rest = GateIE(gate::kData2, rec.TelNo) +
                    GateIE8(gate::kModule, static_cast<std::uint8_t>(ModuleFromSubject(rec.Subj))) +
                    GateIE16(gate::kCounter, gp.WriteSMSCnt);
  if (gs.cfg.LiptelUCS2) rest += GateIE16(gate::kTypeSms, ucs2 ? 0x0208 : 0x0200);
  // The text gets what the IE list leaves; an over-long one would spoil the whole frame.
  const qsizetype room = 255 - 2 - rest.size();
  QByteArray data = ucs2 ? Ucs2Bytes(text.wide) : text.gsm;
  data.truncate(ucs2 ? room & ~qsizetype(1) : room);
  if (ucs2)
    g.Log(debug, QStringLiteral("TEXT_SMS UCS2 ->|") + GateHexBytes(data) + QStringLiteral("|<-"));
  GateSend(g, GateIE(gate::kData1, data) + rest);
  gs.Lamps.linkStage = 5;
  AdvanceSmtpRunPos(g, pos + rec.EndPos);
  g.traffic().trafficLine(gs.cfg.SmtpTxtMask, rec.TelNo, LogTextOfRaw(text.raw));
}

void GateCauseReaction(GatewayContext& g, std::uint8_t c) {
  GatewayState& gs = g.state();
  GateProtocolState& gp = g.link().Gate;
  const bool bufferFull = c >= gate::kCauseBufferFullFrom;
  // A cause concerns the job last handed over, and only while it waits for its confirmation
  // and has had no cause yet: a confirmed job, or the jobs after it once more, would otherwise
  // be sent or reported twice.
  if (!gp.SentArr.empty() && gp.SentArr.back()._WriteSMSCnt == gp.WriteSMSCnt &&
      !gp.SentArr.back()._Confirm && gp.SentArr.back()._IE_CAUSE_5 == -1) {
    tSmtpRunNdx& last = gp.SentArr.back();
    last._IE_CAUSE_5 = c;
    AdvanceSmtpRunPos(g, last._SmtpRunPos);
    GateSaveUnconfirmed(g);
    g.Log(gs.cfg.Debug, bufferFull ? QStringLiteral("ISDN GSM Gate - SMS Buffer Full")
                                   : QStringLiteral("ISDN GSM Gate - inactive MODULE"));
    if (QFile::exists(gs.file(files::kSmtpRun))) {
      const std::int32_t next =
          bufferFull ? takeRunRecords(g, gs.cfg.SmtpRunPos, -1,
                                      [&g](const tMailRec& rec) { requeue(g, rec); })
                     : takeRunRecords(g, gs.cfg.SmtpRunPos, 1,
                                      [&g](const tMailRec& rec) { reportInactiveModule(g, rec); });
      AdvanceSmtpRunPos(g, next);
      if (bufferFull) gs.Lamps.smtpBits |= kLampStore;
    }
  }
  if (c == gate::kCauseInactiveModule) GateSendNext(g);
  if (c == gate::kCauseBufferFullFrom) GateQueueFullNotice(g);
}

}  // namespace kolvane
