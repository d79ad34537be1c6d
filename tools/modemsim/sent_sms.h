#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "modemsim/stored_sms.h"

namespace kolvane::modemsim {

// One message the modem accepted for sending.
struct SentSms {
  QDateTime time;
  bool pduMode = false;
  QString number;
  QString text;
  ConcatInfo concat;  // zeros for a single message
  bool statusReport = false;
  int dcs = 0;
  int messageReference = 0;
  QByteArray raw;  // PDU hex, or the text-mode body as written
};

// The sent-file line (no line end), TAB-separated:
// time, number, text, mode, reference, count, part, report, dcs, message reference, raw.
QString sentLine(const SentSms& sms);
inline constexpr const char* kSentLineHelp =
    "  time (yyyy-MM-ddTHH:mm:ss)  number  text  mode (text|pdu)  concatenation reference\n"
    "  part count  part number (0 0 0 for a single SMS)  status report asked (0|1)\n"
    "  data coding scheme  message reference  raw body (PDU hex or the text-mode body)\n"
    "  Texts are UTF-8 with \\\\, \\t, \\r, \\n and \\xNN for other control bytes.\n";

// Backslash escapes for one TAB-separated field; unescapeField reverses them.
QString escapeField(const QString& text);
QString unescapeField(const QString& text);

}  // namespace kolvane::modemsim
