#include "settings/language_file.h"

#include <QFile>
#include <QStringDecoder>

#include "settings/caption_table.h"
#include "settings/catalogue.h"
#include "settings/language.h"

namespace kolvane {

namespace {

// An export is some 30 KB; a far larger file is not a language file, and its lookups would
// take very long.
constexpr qint64 kMaxLanguageFileBytes = 1024 * 1024;

const QChar kCr = QLatin1Char('\r');

QString section() {
  return QString::fromLatin1(kLanguageStrings);
}

QString numberedKey(const QString& key, int line) {
  return key + QLatin1Char('_') + QString::number(line);
}

// A text's lines as the file holds them: a final CR opens no empty last line.
QStringList linesOf(const QString& text) {
  QStringList lines = text.split(kCr);
  if (lines.size() > 1 && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

std::optional<QString> gatheredLines(const IniText& file, const QString& key) {
  QString joined;
  for (int line = 1;; ++line) {
    const auto value = file.value(section(), numberedKey(key, line));
    if (!value) break;
    joined += *value + kCr;
  }
  // Two characters or fewer (such as one one-character line) give no override.
  if (joined.size() <= 2) return std::nullopt;
  joined.chop(1);
  return joined;
}

QString textIn(const CaptionEntry& entry, LanguageId id) {
  return QString::fromUtf8(id == LanguageId::Cz ? entry.czech : entry.english);
}

}  // namespace

IniText readLanguageFile(const QString& path) {
  QFile file(path);
  if (file.size() > kMaxLanguageFileBytes || !file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.read(kMaxLanguageFileBytes);
  const auto encoding = QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8);
  QStringDecoder decode(encoding);
  return IniText::parse(decode(bytes));
}

QHash<int, QString> loadOverrides(const IniText& file) {
  QHash<int, QString> overrides;
  if (!file.hasSection(section())) return overrides;
  for (const CatalogueEntry& entry : catalogueEntries()) {
    const QString key = QString::fromUtf8(entry.key);
    auto text = file.value(section(), key);
    if (!text) text = gatheredLines(file, key);
    if (text) overrides.insert(entry.number, *text);
  }
  return overrides;
}

QString iniValueFor(const QString& value) {
  const QChar quote = QLatin1Char('"');
  const bool quoted = value.size() >= 2 && value.startsWith(quote) && value.endsWith(quote);
  if (value == value.trimmed() && !quoted) return value;
  return quote + value + quote;
}

IniText buildExport(const Language& language) {
  IniText out;
  for (const CatalogueEntry& entry : catalogueEntries()) {
    const QString key = QString::fromUtf8(entry.key);
    const QString text = language.Text(entry.number);
    if (!text.contains(kCr)) {
      out.setValue(section(), key, iniValueFor(text));
      continue;
    }
    const QStringList lines = linesOf(text);
    for (int i = 0; i < lines.size(); ++i) {
      out.setValue(section(), numberedKey(key, i + 1), iniValueFor(lines[i]));
    }
  }
  if (language.id() == LanguageId::Ini) return out;

  for (const CaptionEntry& entry : captionEntries()) {
    const QString form = QString::fromUtf8(entry.form);
    const QString text = textIn(entry, language.id());
    if (entry.target != CaptionTarget::ListBox) {
      out.setValue(form, captionKey(entry), iniValueFor(text));
      continue;
    }
    const QStringList lines = linesOf(text);
    for (int i = 0; i < lines.size(); ++i) {
      out.setValue(form, listItemKey(entry, i + 1), iniValueFor(lines[i]));
    }
  }
  return out;
}

}  // namespace kolvane
