#include "mail/smtp_extensions.h"

#include <QList>
#include <algorithm>
#include <limits>

#include "settings/settings.h"

namespace kolvane {

qint64 SmtpMaxMailBytes(const Settings& cfg) {
  return qint64{std::max(1, cfg.SmtpMaxMailMB)} * 1024 * 1024;
}

QByteArray EhloReply(const Settings& cfg, const QByteArray& rest) {
  // Clients use these to stream commands and send 8-bit text; not ENHANCEDSTATUSCODES,
  // which would promise a code in every reply.
  // AUTH with or without accounts, so that a client set up with a password always works.
  const QList<QByteArray> extensions = {"8BITMIME", "PIPELINING",
                                        "SIZE " + QByteArray::number(SmtpMaxMailBytes(cfg)),
                                        "AUTH PLAIN LOGIN"};
  QByteArray reply = "250-Kolvane";
  if (cfg.HeloAdd) reply += rest;
  for (qsizetype i = 0; i < extensions.size(); ++i) {
    reply += "\r\n250";
    reply += i + 1 == extensions.size() ? ' ' : '-';
    reply += extensions[i];
  }
  return reply;
}

std::optional<qint64> DeclaredMailSize(const QByteArray& upperLine) {
  const qsizetype gt = upperLine.indexOf('>');
  if (gt < 0) return std::nullopt;
  for (const QByteArray& word : upperLine.mid(gt + 1).split(' ')) {
    if (!word.startsWith("SIZE=")) continue;
    const QByteArray digits = word.mid(5);
    if (digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    return ok ? n : std::numeric_limits<qint64>::max();
  }
  return std::nullopt;
}

}  // namespace kolvane
