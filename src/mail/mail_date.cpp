#include "mail/mail_date.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <array>
#include <cstdlib>

#include "context/gateway_context.h"

namespace kolvane {

namespace {

constexpr int kQuarterHourSeconds = 15 * 60;
constexpr int kMaxZoneQuarters = 14 * 4;

}  // namespace

QByteArray MailDate(const QDateTime& t) {
  static constexpr std::array<const char*, 7> kDays = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const QDate d = t.date();
  const int offset = t.offsetFromUtc() / 60;
  const int zone = std::abs(offset) / 60 * 100 + std::abs(offset) % 60;
  return QByteArray(kDays[d.dayOfWeek() - 1]) + ", " + QByteArray::number(d.day()) + ' ' +
         kMonths[d.month() - 1] + ' ' + QByteArray::number(d.year()).rightJustified(4, '0') + ' ' +
         t.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + ' ' + (offset < 0 ? '-' : '+') +
         QByteArray::number(zone).rightJustified(4, '0');
}

QByteArray MailDateNow(const GatewayContext& g) {
  return MailDate(fromDateTime(g.clock().now()));
}

std::optional<QDateTime> SmsTimeStamp(const QByteArray& stamp) {
  static const QRegularExpression kStamp(QStringLiteral(
      R"(^\s*(\d{2}|\d{4})/(\d{1,2})/(\d{1,2}),(\d{1,2}):(\d{2}):(\d{2})(?:\s*([+-])(\d{1,2}))?)"));
  const QRegularExpressionMatch m = kStamp.match(QString::fromLatin1(stamp));
  if (!m.hasMatch()) return std::nullopt;
  const auto number = [&m](int n) { return m.captured(n).toInt(); };
  const int year = m.capturedLength(1) == 2 ? 2000 + number(1) : number(1);
  const QDate date(year, number(2), number(3));
  const QTime time(number(4), number(5), number(6));
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  if (!m.hasCaptured(7)) return QDateTime(date, time);
  const int quarters = number(8);
  if (quarters > kMaxZoneQuarters) return std::nullopt;
  const int seconds =
      quarters * kQuarterHourSeconds * (m.captured(7) == QLatin1String("-") ? -1 : 1);
  return QDateTime(date, time, QTimeZone(seconds));
}

QByteArray ReceivedSmsDate(const GatewayContext& g, const QByteArray& stamp) {
  const auto at = SmsTimeStamp(stamp);
  return at ? MailDate(*at) : MailDateNow(g);
}

}  // namespace kolvane
