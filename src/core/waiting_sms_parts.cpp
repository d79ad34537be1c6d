#include "core/waiting_sms_parts.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

#include "core/gateway.h"
#include "gsm/sms_groups.h"
#include "mail/quoted_printable.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

// One line per part: "P", arrival time, reference, part count, part number, then sender, time
// stamp and text, each quoted-printable so that no tab or line break is left in them, then the
// sender's address type. Files written before the type was kept have no type field: their
// parts are not trusted with a type.
constexpr char kSep = '\t';

bool waiting(const QList<tSmsRec>& group) {
  return !group.isEmpty() &&
         std::none_of(group.begin(), group.end(), [](const tSmsRec& s) { return s.LoStat == 2; }) &&
         std::any_of(group.begin(), group.end(), [](const tSmsRec& s) { return s.LoStat == 1; });
}

QByteArray partLine(const tSmsRec& s) {
  return QByteArray("P") + kSep + QByteArray::number(s.Seen, 'g', 17) + kSep +
         QByteArray::number(s.LoID) + kSep + QByteArray::number(s.LoHi) + kSep +
         QByteArray::number(s.LoNo) + kSep + QpEncode(s.TelStr) + kSep + QpEncode(s.Time) + kSep +
         QpEncode(s.Text) + kSep + QByteArray::number(s.TelType) + "\r\n";
}

std::optional<tSmsRec> parsePart(const QByteArray& line) {
  const QList<QByteArray> f = line.split(kSep);
  if ((f.size() != 8 && f.size() != 9) || f[0] != "P") return std::nullopt;
  bool okSeen = false, okId = false, okHi = false, okNo = false, okType = true;
  tSmsRec s;
  s.Seen = f[1].toDouble(&okSeen);
  const int id = f[2].toInt(&okId);
  const int hi = f[3].toInt(&okHi);
  const int no = f[4].toInt(&okNo);
  const int type = f.size() == 9 ? f[8].toInt(&okType) : -1;
  if (!okSeen || !okId || !okHi || !okNo || !okType || id < 0 || id > 0xFFFF || hi < 2 ||
      hi > 255 || no < 1 || no > hi || type < -1 || type > 255)
    return std::nullopt;
  s.TelType = type;
  s.LoID = static_cast<std::uint16_t>(id);
  s.LoHi = static_cast<std::uint8_t>(hi);
  s.LoNo = static_cast<std::uint8_t>(no);
  s.TelStr = QpDecode(f[5]);
  s.Time = QpDecode(f[6]);
  s.Text = QpDecode(f[7]);
  s.LoStat = 1;
  return s;
}

DateTime firstArrival(const QList<tSmsRec>& group) {
  DateTime first = 0;
  for (const tSmsRec& s : group) {
    if (s.LoStat == 1 && (first == 0 || s.Seen < first)) first = s.Seen;
  }
  return first;
}

}  // namespace

void LoadWaitingParts(Gateway& g) {
  QFile file(g.state().file(kSmsPartsFile));
  if (!file.exists()) return;
  if (!file.open(QIODevice::ReadOnly)) {
    g.Log(true, QStringLiteral("!!! %1 - OpenFile fault !!!").arg(QLatin1String(kSmsPartsFile)));
    return;
  }
  int lineNo = 0;
  while (!file.atEnd()) {
    QByteArray line = file.readLine();
    ++lineNo;
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    if (line.isEmpty()) continue;
    const auto part = parsePart(line);
    if (!part) {
      g.Log(true, QStringLiteral("%1 line %2 not readable, skipped")
                      .arg(QLatin1String(kSmsPartsFile))
                      .arg(lineNo));
      continue;
    }
    PutPartInGroup(g.link().SmsLongArr, *part);
    // PutPartInGroup keeps the stored arrival time with the part.
  }
}

void SaveWaitingParts(Gateway& g) {
  const QString path = g.state().file(kSmsPartsFile);
  QByteArray bytes;
  for (const QList<tSmsRec>& group : g.link().SmsLongArr) {
    if (!waiting(group)) continue;
    for (const tSmsRec& s : group) {
      if (s.LoStat == 1) bytes += partLine(s);
    }
  }
  if (bytes.isEmpty()) {
    QFile::remove(path);
    return;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kPrivateFile) ||
      file.write(bytes) != bytes.size() || !file.commit()) {
    g.Log(true, QStringLiteral("!!! %1 - WriteFile error !!!").arg(QLatin1String(kSmsPartsFile)));
  }
}

void StampNewParts(LinkState& link, DateTime now) {
  for (QList<tSmsRec>& group : link.SmsLongArr) {
    for (tSmsRec& s : group) {
      if (s.LoStat == 1 && s.Seen == 0) s.Seen = now;
    }
  }
}

QList<tSmsRec> TakeOverdueMessages(LinkState& link, DateTime now) {
  static const QByteArray kMissing = QpEncode(QByteArrayLiteral("[\xE2\x80\xA6]"));
  QList<tSmsRec> overdue;
  for (qsizetype i = 0; i < link.SmsLongArr.size();) {
    const QList<tSmsRec>& group = link.SmsLongArr[i];
    if (!waiting(group) || now - firstArrival(group) <= kPartsWaitDays) {
      ++i;
      continue;
    }
    tSmsRec msg;
    for (const tSmsRec& s : group) {
      if (s.LoStat != 1) {
        msg.Text += kMissing;
        continue;
      }
      if (msg.TelStr.isEmpty()) {
        msg.TelStr = s.TelStr;
        msg.Time = s.Time;
      }
      msg.Text += s.Text;
    }
    msg.TelType = CommonTelType(group);
    msg.OK = true;
    overdue.append(msg);
    link.SmsLongArr.removeAt(i);
  }
  return overdue;
}

}  // namespace kolvane
