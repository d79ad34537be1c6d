#include "log/traffic_log_format.h"

#include <QStringList>
#include <algorithm>

namespace kolvane {

QString trafficFileName(const QString& pattern, const QDate& date) {
  static const QStringList kPrefixes = {QStringLiteral("Smtp_"), QStringLiteral("Pop3_"),
                                        QStringLiteral("SentOut_")};
  const auto prefix = std::find_if(kPrefixes.begin(), kPrefixes.end(), [&](const QString& p) {
    return pattern.startsWith(p, Qt::CaseSensitive);
  });
  if (prefix == kPrefixes.end()) return {};
  const QString rest = pattern.mid(prefix->size());
  const qsizetype dot = rest.indexOf(QLatin1Char('.'));
  if (dot < 0) return {};
  const QString middle = rest.left(dot);
  QString text;
  if (middle == QLatin1String("YYMM")) {
    text = date.toString(QStringLiteral("yyMM"));
  } else if (middle == QLatin1String("YYMMDD")) {
    text = date.toString(QStringLiteral("yyMMdd"));
  } else if (middle == QLatin1String("LOG")) {
    text = middle;
  } else {
    return {};
  }
  return *prefix + text + rest.mid(dot);
}

QByteArray cleanTrafficText(const QByteArray& text) {
  QByteArray out;
  out.reserve(text.size());
  for (const char c : text) {
    const char shown = static_cast<unsigned char>(c) < 32 ? ' ' : c;
    if (shown == ' ' && out.endsWith(' ')) continue;
    out += shown;
  }
  return out;
}

QByteArray trafficLineBytes(const QDateTime& when, const QByteArray& tag, const QByteArray& text) {
  return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + '\t' + tag + '\t' +
         cleanTrafficText(text) + "\r\n";
}

}  // namespace kolvane
