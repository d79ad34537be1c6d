#include "settings/caption_texts.h"

#include <algorithm>
#include <iterator>

#include "settings/language.h"

namespace kolvane {

namespace {

const QChar kCr = QLatin1Char('\r');

CaptionText fromTable(const CaptionEntry& entry, LanguageId id) {
  const QString text = QString::fromUtf8(id == LanguageId::Cz ? entry.czech : entry.english);
  if (entry.target == CaptionTarget::ListBox) return {&entry, {}, text.split(kCr)};
  return {&entry, text, {}};
}

CaptionText fromFile(const CaptionEntry& entry, const IniText& file) {
  if (keepsTextUnderLanguageFile(entry)) return {&entry, {}, {}, true};
  const QString form = QString::fromUtf8(entry.form);
  if (entry.target != CaptionTarget::ListBox) {
    return {&entry, file.value(form, captionKey(entry), QString::fromUtf8(entry.english)), {}};
  }
  QStringList items;
  for (int line = 1;; ++line) {
    const auto value = file.value(form, listItemKey(entry, line));
    if (!value) break;
    items << *value;
  }
  // A list the file does not hold keeps its English lines rather than going blank.
  if (items.isEmpty()) return fromTable(entry, LanguageId::En);
  return {&entry, {}, items};
}

}  // namespace

std::vector<CaptionText> captionTexts(const Language& language) {
  const auto entries = captionEntries();
  std::vector<CaptionText> out;
  out.reserve(entries.size());
  std::transform(
      entries.begin(), entries.end(), std::back_inserter(out), [&](const CaptionEntry& entry) {
        return language.id() == LanguageId::Ini ? fromFile(entry, language.languageFile())
                                                : fromTable(entry, language.id());
      });
  return out;
}

namespace {

template <typename Match>
QString findText(const Language& language, Match match) {
  const auto entries = captionEntries();
  const auto it = std::find_if(entries.begin(), entries.end(), match);
  if (it == entries.end()) return {};
  if (language.id() != LanguageId::Ini) return fromTable(*it, language.id()).text;
  return fromFile(*it, language.languageFile()).text;
}

}  // namespace

QString captionText(const Language& language, const QString& form, const QString& control) {
  return findText(language, [&](const CaptionEntry& e) {
    return e.target == CaptionTarget::Control && form == QLatin1String(e.form) &&
           control == QLatin1String(e.control);
  });
}

QString captionColumnText(const Language& language, const QString& form, const QString& grid,
                          int column) {
  return findText(language, [&](const CaptionEntry& e) {
    return e.target == CaptionTarget::GridCell && e.row == 0 && e.index == column &&
           form == QLatin1String(e.form) && grid == QLatin1String(e.control);
  });
}

}  // namespace kolvane
