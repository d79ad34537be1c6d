#include "core/file_drop.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>

#include "core/gateway.h"
#include "core/local_sms.h"
#include "gsm/charsets.h"
#include "gsm/gsm_alphabet.h"
#include "gsm/utf8_conversion.h"
#include "mail/pseudo_address.h"
#include "mail/store_file.h"
#include "platform/exclusive_file.h"
#include "platform/open_for_writing.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

// A drop file is taken once it has stood unchanged this long: its writer is done with it.
constexpr std::uint32_t kSettleMs = 1000;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

QByteArray trimStart(QByteArray s, const char* chars) {
  qsizetype n = 0;
  while (n < s.size() && std::strchr(chars, s[n]) != nullptr) ++n;
  return s.mid(n);
}

QByteArray trimEnd(QByteArray s, const char* chars) {
  while (!s.isEmpty() && std::strchr(chars, s.back()) != nullptr) s.chop(1);
  return s;
}

// Takes the next line off the text. A line ends at CR or LF, whichever comes first, so files
// with CR LF, LF-only and mixed line ends all give one line per number.
QByteArray takeLine(QByteArray& text) {
  text = trimStart(text, "\r\n ");
  qsizetype end = text.size();
  for (const char stop : {'\r', '\n'}) {
    const qsizetype at = text.indexOf(stop);
    if (at >= 0) end = std::min(end, at + 1);
  }
  QByteArray line = text.left(end);
  text.remove(0, end);
  return trimEnd(line, "\r\n ");
}

// Where the complete lines of the bytes end: after the last CR or LF.
qsizetype completeLinesEnd(const QByteArray& bytes) {
  return std::max(bytes.lastIndexOf('\r'), bytes.lastIndexOf('\n')) + 1;
}

bool validNumber(const QByteArray& number) {
  return number.size() >= 3 && (number[0] == '+' || isDigit(number[0])) &&
         std::all_of(number.begin() + 1, number.end(), isDigit);
}

// The text of a drop line: UTF-8 when the bytes are valid UTF-8, else the 8-bit charset chosen
// for mails (Latin-1 when none is).
QString lineText(const Settings& cfg, const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  const QByteArray charset = cfg.EmlSmsChConv.toLatin1();
  if (IsKnownCharset(charset) && charset != "utf-8") return DecodeFromNamedCharset(charset, bytes);
  return QString::fromLatin1(bytes);
}

// As a mail's text is sent: without UCS-2 sending, what the GSM alphabet shows of it.
QString smsText(const Settings& cfg, const QString& text) {
  if (cfg.SendUCS2SmsPermit) return text;
  return QString::fromUtf8(
      GsmAlphabetToText(Utf8ToGsmAlphabet(Utf8TranslitToAscii(text.toUtf8()))));
}

enum class Taken { Yes, Failed, Held };

// Failed or Held when the job is not in the mail store: the line must stay. A line is taken
// only once its job is written, never while it waits in memory for a held store.
Taken takeLineAsJob(Gateway& g, const QByteArray& line, TrafficLogFile& sentOut) {
  GatewayState& gs = g.state();
  QByteArray number;
  QByteArray raw = line;
  const qsizetype tab = line.indexOf('\t');
  if (tab >= 0) {
    number = trimEnd(line.left(tab), "\t ");
    number.replace(" ", "");
    raw = trimStart(line.mid(tab + 1), "\t ");
  }
  const QString text = smsText(gs.cfg, lineText(gs.cfg, raw));
  QByteArray logged = text.toUtf8();
  if (validNumber(number)) {
    const LocalSms sms{
        number,
        "send time " + QLocale::system()
                           .toString(fromDateTime(g.clock().now()), QLocale::ShortFormat)
                           .toLocal8Bit(),
        text, SendUpSender()};
    const LocalSmsResult result = StoreLocalSms(g, sms, QueueWhenHeld::No);
    if (result.outcome == LocalSmsResult::Failed) return Taken::Failed;
    if (result.outcome == LocalSmsResult::Held) return Taken::Held;
    if (result.outcome == LocalSmsResult::Refused) {
      ReportRefusedLocalSms(g, sms, result.reason);
      logged.prepend("!!!Error!!! ");
    }
  } else {
    logged.prepend("!!!Error!!! ");
  }
  sentOut.write(number, logged);
  g.Log(gs.cfg.Debug, QStringLiteral("SendUp -> |") + text + '|');
  return Taken::Yes;
}

// The bytes at the start of the file, which is cut after them; no new space is needed, so it
// works on a full disk too.
bool keepOnly(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::ReadWrite) && f.write(bytes) == bytes.size() && f.resize(bytes.size()) &&
         SyncToDisk(f);
}

// Sends the complete lines of the working copy, then deletes it. False when the mail store
// refused a job: the lines from that one on stay in the working copy, sent first at the next
// scan.
bool sendLines(Gateway& g, const QString& work, const QByteArray& text) {
  GatewayState& gs = g.state();
  TrafficLogFile sentOut = g.traffic().open(gs.cfg.SentOutTxtMask);
  for (QByteArray rest = text; !(rest = trimStart(rest, "\r\n ")).isEmpty();) {
    const QByteArray unread = rest;
    const Taken taken = takeLineAsJob(g, takeLine(rest), sentOut);
    if (taken != Taken::Yes) {
      // A held store is tried again at the next scan.
      g.Log(taken == Taken::Failed || gs.cfg.Debug,
            (taken == Taken::Failed ? QStringLiteral("Error on processing ")
                                    : QStringLiteral("Mail store held, kept for the next scan: ")) +
                gs.cfg.SendUpTxtName);
      if (!keepOnly(work, unread)) {
        g.Log(true, QStringLiteral("!!! %1 - WriteFile error !!!").arg(gs.cfg.SendUpTmpName));
      }
      return false;
    }
  }
  QFile::remove(work);
  return true;
}

// The unfinished last line goes back as the drop file for the next scan, in front of what a
// writer may have begun meanwhile.
bool putBack(const QString& drop, const QByteArray& tail) {
  QFile fresh(drop);
  if (fresh.open(QIODevice::WriteOnly | QIODevice::NewOnly, kPrivateFile)) {
    return fresh.write(tail) == tail.size() && SyncToDisk(fresh);
  }
  const auto newer = ReadWholeFile(drop);
  if (!newer) return false;
  const QString temp = drop + QStringLiteral(".back");
  QFile joined(temp);
  const QByteArray bytes = tail + *newer;
  const bool written = joined.open(QIODevice::WriteOnly | QIODevice::Truncate, kPrivateFile) &&
                       joined.write(bytes) == bytes.size() && SyncToDisk(joined);
  joined.close();
  if (written && ReplaceSynced(temp, drop)) return true;
  QFile::remove(temp);
  return false;
}

DropFileLook lookAt(const QString& drop, Tick now) {
  const QFileInfo info(drop);
  if (!info.exists()) return {};
  return {info.size(), info.lastModified(), now, false};
}

// The file drop looks again at `due` rather than a whole scan later.
void lookAgainAt(GatewayState& gs, Tick due) {
  if (tickBefore(due, gs.SendUpAtTick)) gs.SendUpAtTick = tickAfter(due, 0);
}

enum class Take { No, CompleteLines, Whole };

// Whether the drop file is taken now, and whether its last line counts without a line end:
// only a file whose writer is done with it, and an unfinished line only once it stood so from
// one scan to the next.
Take whatToTake(Gateway& g, const QString& drop) {
  GatewayState& gs = g.state();
  const Tick now = g.clock().tick();
  DropFileLook& seen = gs.SendUpLook;
  const DropFileLook look = lookAt(drop, now);
  if (look.size < 0) {
    seen = {};
    return Take::No;
  }
  if (!seen.sameFile(look)) {
    seen = look;
    lookAgainAt(gs, now + kSettleMs);
    return Take::No;
  }
  if (now - seen.since < kSettleMs) {
    lookAgainAt(gs, seen.since + kSettleMs);
    return Take::No;
  }
  if (OpenForWriting(drop).value_or(false)) return Take::No;
  if (seen.tailKept) return Take::Whole;
  const auto bytes = ReadWholeFile(drop);
  if (bytes && completeLinesEnd(*bytes) == 0 && !trimStart(*bytes, "\r\n ").isEmpty()) {
    seen.tailKept = true;
    return Take::No;
  }
  return Take::CompleteLines;
}

}  // namespace

void SendUpFiles(Gateway& g) {
  GatewayState& gs = g.state();
  const QString drop = gs.ProgramDir + gs.cfg.SendUpTxtName;
  const QString work = gs.ProgramDir + gs.cfg.SendUpTmpName;
  // A working copy is what an interrupted or refused scan left of lines taken from the drop
  // file: they are sent before anything newer.
  if (QFile::exists(work)) {
    const auto left = ReadWholeFile(work);
    if (!left || !sendLines(g, work, *left)) {
      if (!left) g.Log(true, QStringLiteral("Error on processing ") + gs.cfg.SendUpTmpName);
      return;
    }
  }
  const Take take = whatToTake(g, drop);
  if (take == Take::No || !QFile::rename(drop, work)) return;
  gs.SendUpLook = {};
  const auto text = ReadWholeFile(work);
  if (!text) {
    g.Log(true, QStringLiteral("Error on processing ") + gs.cfg.SendUpTxtName);
    return;
  }
  const qsizetype end = take == Take::Whole ? text->size() : completeLinesEnd(*text);
  const QByteArray tail = text->mid(end);
  if (!tail.isEmpty() && !trimStart(tail, "\r\n ").isEmpty()) {
    // Put back first and only then dropped here: a crash in between sends it twice, never not.
    if (!putBack(drop, tail) || !keepOnly(work, text->left(end))) {
      g.Log(true, QStringLiteral("!!! %1 - WriteFile error !!!").arg(gs.cfg.SendUpTxtName));
      return;
    }
    gs.SendUpLook = lookAt(drop, g.clock().tick());
    gs.SendUpLook.tailKept = true;
  }
  sendLines(g, work, text->left(end));
}

}  // namespace kolvane
