#include "settings/language.h"

#include <QDir>
#include <utility>

#include "settings/catalogue.h"
#include "settings/language_file.h"

namespace kolvane {

QString languageName(LanguageId id) {
  switch (id) {
    case LanguageId::Ini:
      return QStringLiteral("INI");
    case LanguageId::Cz:
      return QStringLiteral("CZ");
    case LanguageId::En:
      break;
  }
  return QStringLiteral("EN");
}

LanguageId chooseLanguage(const QString& name, LanguageId current) {
  if (name == QLatin1String("*")) return current;
  if (name.contains(QLatin1String("CZ"), Qt::CaseInsensitive)) return LanguageId::Cz;
  if (name.contains(QLatin1String("INI"), Qt::CaseInsensitive)) return LanguageId::Ini;
  return LanguageId::En;
}

Language::Language(QString programFolder) : folder_(std::move(programFolder)) {}

QString Language::languageFilePath() const {
  return QDir(folder_).filePath(QString::fromLatin1(kLanguageFileName));
}

void Language::setLanguage(const QString& name) {
  id_ = chooseLanguage(name, id_);
  file_ = id_ == LanguageId::Ini ? readLanguageFile(languageFilePath()) : IniText{};
  overrides_ = loadOverrides(file_);
}

QString Language::Text(int number) const {
  const CatalogueEntry* entry = catalogueEntry(number);
  if (!entry) return {};
  switch (id_) {
    case LanguageId::Cz:
      return QString::fromUtf8(entry->czech);
    case LanguageId::Ini:
      if (const auto it = overrides_.constFind(number); it != overrides_.cend()) return *it;
      break;
    case LanguageId::En:
      break;
  }
  return QString::fromUtf8(entry->english);
}

QString Language::Text(int number, const QStringList& args) const {
  return fillPlaceholders(Text(number), args);
}

}  // namespace kolvane
