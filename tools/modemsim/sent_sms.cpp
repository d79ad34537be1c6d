#include "modemsim/sent_sms.h"

#include <QStringList>

namespace kolvane::modemsim {
namespace {

QString hexEscape(unsigned code) {
  return QStringLiteral("\\x") + QString::number(code, 16).toUpper().rightJustified(2, u'0');
}

}  // namespace

QString escapeField(const QString& text) {
  QString out;
  for (const QChar c : text) {
    switch (c.unicode()) {
      case u'\\':
        out += QStringLiteral("\\\\");
        break;
      case u'\t':
        out += QStringLiteral("\\t");
        break;
      case u'\r':
        out += QStringLiteral("\\r");
        break;
      case u'\n':
        out += QStringLiteral("\\n");
        break;
      default:
        if (c.unicode() < 32 || c.unicode() == 127)
          out += hexEscape(c.unicode());
        else
          out += c;
    }
  }
  return out;
}

QString unescapeField(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const QChar next = text[++i];
    if (next == u'n') {
      out += u'\n';
    } else if (next == u't') {
      out += u'\t';
    } else if (next == u'r') {
      out += u'\r';
    } else if (next == u'x' && i + 2 < text.size()) {
      bool ok = false;
      const int code = text.mid(i + 1, 2).toInt(&ok, 16);
      if (ok) {
        out += QChar(code);
        i += 2;
      } else {
        out += u'\\';
        out += next;
      }
    } else {
      out += next;  // "\\" and unknown escapes give the character itself
    }
  }
  return out;
}

QString sentLine(const SentSms& sms) {
  // The raw text-mode body is shown byte for byte; bytes above 127 as \xNN too.
  QString raw;
  if (sms.pduMode) {
    raw = QString::fromLatin1(sms.raw);
  } else {
    for (const char c : sms.raw) {
      const auto u = static_cast<unsigned char>(c);
      raw += u >= 128 ? hexEscape(u) : escapeField(QString(QChar(u)));
    }
  }
  return QStringList{sms.time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")),
                     escapeField(sms.number),
                     escapeField(sms.text),
                     sms.pduMode ? QStringLiteral("pdu") : QStringLiteral("text"),
                     QString::number(sms.concat.reference),
                     QString::number(sms.concat.count),
                     QString::number(sms.concat.part),
                     sms.statusReport ? QStringLiteral("1") : QStringLiteral("0"),
                     QString::number(sms.dcs),
                     QString::number(sms.messageReference),
                     raw}
      .join(u'\t');
}

}  // namespace kolvane::modemsim
