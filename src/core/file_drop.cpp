#include "core/file_drop.h"

#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cstring>

#include "core/gateway.h"
#include "mail/pseudo_address.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "mail/store_file.h"

namespace kolvane {

namespace {

constexpr int kMaxText = 160;

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

bool validNumber(const QByteArray& number) {
  return number.size() >= 3 && (number[0] == '+' || isDigit(number[0])) &&
         std::all_of(number.begin() + 1, number.end(), isDigit);
}

// Only what every modem and code page shows alike: space to "?" and the Latin letters.
void keepPlainCharacters(QByteArray& text) {
  for (char& c : text) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && !(c >= 32 && c <= 63)) c = '-';
  }
}

// False when the job could not be written to the mail store: the line must stay.
bool takeLineAsJob(Gateway& g, const QByteArray& line, TrafficLogFile& sentOut) {
  GatewayState& gs = g.state();
  QByteArray number;
  QByteArray text = line;
  const qsizetype tab = line.indexOf('\t');
  if (tab >= 0) {
    number = trimEnd(line.left(tab), "\t ");
    number.replace(" ", "");
    text = trimStart(line.mid(tab + 1), "\t ");
  }
  const bool valid = validNumber(number) && text.size() <= kMaxText;
  keepPlainCharacters(text);
  if (valid) {
    tMailRec rec;
    rec.NamePC = QByteArrayLiteral("localhost");
    rec.From = SendUpSender();
    rec.Toe = PseudoRecipient(number);
    rec.Subj = "send time " + QLocale::system()
                                  .toString(fromDateTime(g.clock().now()), QLocale::ShortFormat)
                                  .toLocal8Bit();
    rec.MimeBody = QpEncode(text);
    if (AppendRecord(g, gs.file(files::kSmtpTmp), rec, true) == AppendResult::Failed) return false;
    gs.Lamps.smtpBits |= kLampStore;
    sentOut.write(number, text);
  } else {
    sentOut.write(number, "!!!Error!!! " + text);
  }
  g.Log(gs.cfg.Debug, QStringLiteral("SendUp -> |") + QString::fromLatin1(text) + '|');
  return true;
}

// Lines that could not be stored go back to the drop file for the next scan: the working copy
// becomes the drop file again, or they are appended to a drop file written meanwhile.
bool writeBytes(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | mode) && f.write(bytes) == bytes.size() && f.flush();
}

void keepForNextScan(Gateway& g, const QString& drop, const QString& work, const QByteArray& kept,
                     bool whole) {
  const bool back = QFile::exists(drop) ? writeBytes(drop, kept, QIODevice::Append)
                                        : (whole || writeBytes(work, kept, QIODevice::Truncate)) &&
                                              QFile::rename(work, drop);
  if (!back)
    g.Log(true, QStringLiteral("!!! %1 - WriteFile error !!!").arg(g.state().cfg.SendUpTxtName));
}

}  // namespace

void SendUpFiles(Gateway& g) {
  GatewayState& gs = g.state();
  const QString drop = gs.ProgramDir + gs.cfg.SendUpTxtName;
  const QString work = gs.ProgramDir + gs.cfg.SendUpTmpName;
  if (QFile::exists(work)) {
    QFile::remove(work);
    return;
  }
  if (!QFile::exists(drop) || !QFile::rename(drop, work)) return;
  if (const auto text = ReadWholeFile(work)) {
    TrafficLogFile sentOut = g.traffic().open(gs.cfg.SentOutTxtMask);
    for (QByteArray rest = *text; !(rest = trimStart(rest, "\r\n ")).isEmpty();) {
      const QByteArray unread = rest;
      if (!takeLineAsJob(g, takeLine(rest), sentOut)) {
        // The mail store refuses the job (a full disk, a lost folder): nothing is lost, the
        // line and those after it wait for the next scan.
        g.Log(true, QStringLiteral("Error on processing ") + gs.cfg.SendUpTxtName);
        keepForNextScan(g, drop, work, unread, unread.size() == text->size());
        break;
      }
    }
  } else {
    g.Log(true, QStringLiteral("Error on processing ") + gs.cfg.SendUpTxtName);
  }
  QFile::remove(work);
}

}  // namespace kolvane
