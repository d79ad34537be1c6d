#include "platform/regional.h"

#include <QLocale>
#include <QRegularExpression>

namespace kolvane::regional {

namespace {

QLocale numberLocale() {
  QLocale locale = QLocale::system();
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale;
}

QString dateTimeFormat() {
  QString date = QLocale::system().dateFormat(QLocale::ShortFormat);
  // A two-digit year would read back in the wrong century.
  static const QRegularExpression shortYear(QStringLiteral("(?<!y)yy(?!y)"));
  date.replace(shortYear, QStringLiteral("yyyy"));
  QString time = QLocale::system().timeFormat(QLocale::LongFormat);
  // Time-zone names do not read back reliably; the value is local time anyway.
  static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
  time.replace(zone, QString());
  return date + QLatin1Char(' ') + time.trimmed();
}

}  // namespace

QString formatReal(double value) {
  return numberLocale().toString(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> parseReal(const QString& text) {
  bool ok = false;
  const double v = numberLocale().toDouble(text.trimmed(), &ok);
  if (ok) return v;
  return std::nullopt;
}

QString formatDateTime(DateTime value) {
  return QLocale::system().toString(fromDateTime(value), dateTimeFormat());
}

std::optional<DateTime> parseDateTime(const QString& text) {
  const QDateTime dt = QLocale::system().toDateTime(text.trimmed(), dateTimeFormat());
  if (!dt.isValid()) return std::nullopt;
  return toDateTime(dt);
}

}  // namespace kolvane::regional
