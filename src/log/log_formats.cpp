#include "log/log_formats.h"

#include <QLocale>
#include <algorithm>

namespace kolvane {

namespace {

QString twoDigits(int value) {
  return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

bool isPlaceholder(QChar c) {
  return c == QLatin1Char('0') || c == QLatin1Char('#');
}

}  // namespace

QChar regionalTimeSeparator() {
  // The character right after the hour field of the locale's short time format.
  const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
  qsizetype i = 0;
  while (i < format.size() && format[i].toLower() != QLatin1Char('h')) ++i;
  while (i < format.size() && format[i].toLower() == QLatin1Char('h')) ++i;
  if (i < format.size()) {
    const QChar c = format[i];
    if (c.isPunct()) return c;
  }
  return QLatin1Char(':');
}

QString logTimeStamp(const QTime& time, QChar separator) {
  return twoDigits(time.hour()) + separator + twoDigits(time.minute()) + separator +
         twoDigits(time.second());
}

QString formatDateMask(const QDate& date, const QString& mask) {
  const QString upper = mask.toUpper();
  QString out;
  qsizetype i = 0;
  while (i < upper.size()) {
    const QStringView rest = QStringView(upper).mid(i);
    if (rest.startsWith(u"YYYY")) {
      out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
      i += 4;
    } else if (rest.startsWith(u"YY")) {
      out += twoDigits(date.year() % 100);
      i += 2;
    } else if (rest.startsWith(u"MM")) {
      out += twoDigits(date.month());
      i += 2;
    } else if (rest.startsWith(u"M")) {
      out += QString::number(date.month());
      i += 1;
    } else if (rest.startsWith(u"DD")) {
      out += twoDigits(date.day());
      i += 2;
    } else if (rest.startsWith(u"D")) {
      out += QString::number(date.day());
      i += 1;
    } else {
      out += mask[i];
      i += 1;
    }
  }
  return out;
}

QString formatNumberMask(qint64 number, const QString& mask) {
  const auto first = std::find_if(mask.begin(), mask.end(), isPlaceholder);
  if (first == mask.end()) return mask + QString::number(number);
  const auto last = std::find_if(mask.rbegin(), mask.rend(), isPlaceholder).base();
  const auto zeros = std::count(first, last, QLatin1Char('0'));
  return QString(mask.begin(), first - mask.begin()) +
         QStringLiteral("%1").arg(number, static_cast<int>(zeros), 10, QLatin1Char('0')) +
         QString(last, mask.end() - last);
}

}  // namespace kolvane
