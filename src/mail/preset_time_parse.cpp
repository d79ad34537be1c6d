#include <QDateTime>
#include <array>
#include <optional>

#include "mail/mail_rec.h"

namespace kolvane {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The letters of the date-time mask, each run of one letter counted once ("YYYY-MM-DD
// HH:NN:SS" gives YMDHNS).
QByteArray maskLetters(const QString& maskDT) {
  QByteArray mask = QByteArrayLiteral("YMDHNS");
  if (maskDT.size() <= 10) return mask;
  mask.clear();
  for (const QChar ch : maskDT.toUpper()) {
    const char c = ch.toLatin1();
    if (!QByteArray("DHMNSY").contains(c)) continue;
    if (mask.isEmpty() || mask.back() != c) mask += c;
  }
  return mask;
}

}  // namespace

DateTime PreSetTimeParse(const QByteArray& subject, const SubjectRules& rules) {
  const QByteArray prefix = rules.PreSetPrefix.toUpper();
  if (prefix.isEmpty()) return 0;
  const qsizetype at = subject.toUpper().indexOf(prefix);
  if (at < 0) return 0;
  QByteArray rest = subject.mid(at + prefix.size() + 1);

  const QByteArray mask = maskLetters(rules.PreSetMaskDT);
  if (mask.size() != 6) return 0;

  qsizetype lead = 0;
  while (lead < rest.size() && !isDigit(rest[lead])) ++lead;
  rest = rest.mid(lead).left(20);
  if (rest.size() <= 4) return 0;

  // Indexed by the letters D H M N S Y.
  std::array<std::optional<long long>, 6> fields{};
  const QByteArray letters = QByteArrayLiteral("DHMNSY");
  for (qsizetype m = mask.size() - 1; m >= 0; --m) {
    while (!rest.isEmpty() && !isDigit(rest.back())) rest.chop(1);
    qsizetype start = rest.size();
    while (start > 0 && isDigit(rest[start - 1])) --start;
    const QByteArray run = rest.mid(start);
    rest.truncate(start);
    if (run.isEmpty()) continue;
    bool ok = false;
    const long long value = run.toLongLong(&ok);
    if (ok)
      fields[letters.indexOf(mask[m])] = value;
    else
      return 0;
  }
  if (!rest.isEmpty()) return 0;

  auto& [day, hour, month, minute, second, year] = fields;
  bool timeOnly = false;
  if (!year && !month && !day) {
    const QDate today = fromDateTime(rules.now).date();
    year = today.year();
    month = today.month();
    day = today.day();
    timeOnly = true;
  }
  for (const auto& f : fields) {
    if (!f || *f > 99999) return 0;
  }
  if (*year < 2000) *year += 2000;
  const QDate date(static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day));
  const QTime time(static_cast<int>(*hour), static_cast<int>(*minute), static_cast<int>(*second));
  const QDateTime when(date, time);
  if (!date.isValid() || !time.isValid() || !when.isValid()) return 0;
  DateTime result = toDateTime(when);
  if (timeOnly && result < rules.now) result = toDateTime(when.addDays(1));
  return result;
}

}  // namespace kolvane
