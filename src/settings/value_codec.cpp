#include "settings/value_codec.h"

namespace kolvane {

std::optional<long long> parseIniInt(const QString& text) {
  QString t = text.trimmed();
  bool negative = false;
  if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
    negative = t.startsWith(QLatin1Char('-'));
    t.remove(0, 1);
  }
  int base = 10;
  if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    base = 16;
    t.remove(0, 2);
  } else if (t.startsWith(QLatin1Char('$'))) {
    base = 16;
    t.remove(0, 1);
  }
  if (t.isEmpty() || t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
    return std::nullopt;
  }
  bool ok = false;
  const long long v = t.toLongLong(&ok, base);
  if (!ok) return std::nullopt;
  return negative ? -v : v;
}

std::optional<bool> parseIniBool(const QString& text) {
  const auto v = parseIniInt(text);
  if (!v) return std::nullopt;
  return *v != 0;
}

}  // namespace kolvane
