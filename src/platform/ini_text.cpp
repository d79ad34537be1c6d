#include "platform/ini_text.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace kolvane {

namespace {
bool sameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}
}  // namespace

namespace {

QString lineEnd(qsizetype lf, bool crBefore) {
  return lf < 0 || crBefore ? QStringLiteral("\r\n") : QStringLiteral("\n");
}

QString decodeLine(const QByteArray& raw) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(raw);
  if (!utf8.hasError()) return text;
  QStringDecoder cp1250("windows-1250");
  return cp1250.isValid() ? QString(cp1250.decode(raw)) : QString::fromLatin1(raw);
}

}  // namespace

IniText IniText::parse(const QString& text) {
  IniText ini;
  if (text.isEmpty()) return ini;
  const qsizetype lf = text.indexOf(QLatin1Char('\n'));
  ini.eol_ = lineEnd(lf, lf > 0 && text[lf - 1] == QLatin1Char('\r'));
  static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
  ini.lines_ = text.split(lineBreak);
  // A final line break does not open another line.
  if (!ini.lines_.isEmpty() && ini.lines_.last().isEmpty()) ini.lines_.removeLast();
  for (const QString& line : std::as_const(ini.lines_)) ini.raw_ << line.toUtf8();
  return ini;
}

IniText IniText::parseBytes(const QByteArray& bytes) {
  IniText ini;
  QByteArray body = bytes;
  if (body.startsWith("\xEF\xBB\xBF")) {
    ini.bom_ = body.left(3);
    body.remove(0, 3);
  }
  if (body.isEmpty()) return ini;
  const qsizetype lf = body.indexOf('\n');
  ini.eol_ = lineEnd(lf, lf > 0 && body[lf - 1] == '\r');
  for (qsizetype at = 0; at < body.size();) {
    qsizetype end = at;
    while (end < body.size() && body[end] != '\r' && body[end] != '\n') ++end;
    const QByteArray raw = body.mid(at, end - at);
    ini.raw_ << raw;
    ini.lines_ << decodeLine(raw);
    if (end < body.size() && body[end] == '\r' && end + 1 < body.size() && body[end + 1] == '\n')
      ++end;
    at = end + 1;
  }
  return ini;
}

QString IniText::toString() const {
  QString out;
  for (const QString& line : lines_) {
    out += line;
    out += eol_;
  }
  return out;
}

QByteArray IniText::toBytes() const {
  QByteArray out = bom_;
  const QByteArray eol = eol_.toLatin1();
  for (const QByteArray& line : raw_) {
    out += line;
    out += eol;
  }
  return out;
}

void IniText::setLine(int index, const QString& line) {
  if (lines_[index] == line) return;  // an unchanged value keeps its bytes
  lines_[index] = line;
  raw_[index] = line.toUtf8();
}

void IniText::insertLine(int index, const QString& line) {
  lines_.insert(index, line);
  raw_.insert(index, line.toUtf8());
}

void IniText::removeLines(int index, int count) {
  lines_.remove(index, count);
  raw_.remove(index, count);
}

std::optional<QString> IniText::sectionName(const QString& line) {
  const QString t = line.trimmed();
  if (!t.startsWith(QLatin1Char('['))) return std::nullopt;
  const qsizetype close = t.indexOf(QLatin1Char(']'));
  if (close < 0) return std::nullopt;
  return t.mid(1, close - 1).trimmed();
}

std::optional<IniText::Entry> IniText::splitKeyLine(const QString& line) {
  const QString t = line.trimmed();
  if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('['))) {
    return std::nullopt;
  }
  const qsizetype eq = t.indexOf(QLatin1Char('='));
  if (eq <= 0) return std::nullopt;
  QString value = t.mid(eq + 1).trimmed();
  if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) {
    value = value.mid(1, value.size() - 2);
  }
  return Entry{t.left(eq).trimmed(), value};
}

QPair<int, int> IniText::sectionRange(const QString& section) const {
  int header = -1;
  for (int i = 0; i < lines_.size(); ++i) {
    const auto name = sectionName(lines_[i]);
    if (!name) continue;
    if (header >= 0) return {header, i};
    if (sameName(*name, section)) header = i;
  }
  return {header, static_cast<int>(lines_.size())};
}

std::optional<IniText::KeyLine> IniText::findKey(const QString& section, const QString& key) const {
  const auto [header, end] = sectionRange(section);
  if (header < 0) return std::nullopt;
  for (int i = header + 1; i < end; ++i) {
    const auto entry = splitKeyLine(lines_[i]);
    if (entry && sameName(entry->first, key)) return KeyLine{i, entry->first, entry->second};
  }
  return std::nullopt;
}

std::optional<QString> IniText::value(const QString& section, const QString& key) const {
  const auto found = findKey(section, key);
  if (!found) return std::nullopt;
  return found->value;
}

bool IniText::hasSection(const QString& section) const {
  return sectionRange(section).first >= 0;
}

QStringList IniText::sections() const {
  QStringList names;
  for (const QString& line : lines_) {
    const auto name = sectionName(line);
    if (!name) continue;
    const bool seen = std::any_of(names.cbegin(), names.cend(),
                                  [&](const QString& n) { return sameName(n, *name); });
    if (!seen) names << *name;
  }
  return names;
}

QList<IniText::Entry> IniText::entries(const QString& section) const {
  QList<Entry> out;
  const auto [header, end] = sectionRange(section);
  if (header < 0) return out;
  for (int i = header + 1; i < end; ++i) {
    const auto entry = splitKeyLine(lines_[i]);
    if (!entry) continue;
    const bool seen = std::any_of(out.cbegin(), out.cend(),
                                  [&](const Entry& e) { return sameName(e.first, entry->first); });
    if (!seen) out << *entry;
  }
  return out;
}

QStringList IniText::keys(const QString& section) const {
  QStringList names;
  for (const Entry& e : entries(section)) names << e.first;
  return names;
}

void IniText::setValue(const QString& section, const QString& key, const QString& value) {
  if (const auto found = findKey(section, key)) {
    setLine(found->line, found->key + QLatin1Char('=') + value);
    return;
  }
  const QString line = key + QLatin1Char('=') + value;
  const auto [header, end] = sectionRange(section);
  if (header < 0) {
    insertLine(static_cast<int>(lines_.size()), QLatin1Char('[') + section + QLatin1Char(']'));
    insertLine(static_cast<int>(lines_.size()), line);
    return;
  }
  // After the last non-blank line of the section, so blank separators stay below it.
  int at = end;
  while (at > header + 1 && lines_[at - 1].trimmed().isEmpty()) --at;
  insertLine(at, line);
}

void IniText::removeKey(const QString& section, const QString& key) {
  if (const auto found = findKey(section, key)) removeLines(found->line, 1);
}

void IniText::eraseSection(const QString& section) {
  const auto [header, end] = sectionRange(section);
  if (header < 0) return;
  removeLines(header, end - header);
}

void IniText::mergeFrom(const IniText& other) {
  for (const QString& section : other.sections()) {
    for (const Entry& e : other.entries(section)) setValue(section, e.first, e.second);
  }
}

}  // namespace kolvane
