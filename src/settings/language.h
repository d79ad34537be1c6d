#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include "platform/ini_text.h"

namespace kolvane {

// The languages in their fixed order; Ini takes texts from "Lang.ini" with English fallback.
enum class LanguageId { Ini, En, Cz };

// "INI", "EN" or "CZ": the setting's value and the stem of the export file name.
QString languageName(LanguageId id);
// A name containing "CZ" selects Czech, one containing "INI" selects Ini (both without regard
// to case, so the setting may be written "cz"), "*" keeps current, anything else is English.
LanguageId chooseLanguage(const QString& name, LanguageId current);

// The language in force and the texts it yields. Owned by the gateway; windows read it.
class Language {
 public:
  explicit Language(QString programFolder);

  LanguageId id() const { return id_; }
  QString name() const { return languageName(id_); }
  const QString& programFolder() const { return folder_; }
  QString languageFilePath() const;

  // Selects the language by name and, for Ini, loads "Lang.ini" afresh.
  void setLanguage(const QString& name);

  // The catalogue text of number in the language in force; empty for numbers without entry.
  QString Text(int number) const;
  // The same with its "%s" placeholders filled in order.
  QString Text(int number, const QStringList& args) const;

  // "Lang.ini" as loaded by the last setLanguage (empty unless Ini is in force); the caption
  // table reads its form sections.
  const IniText& languageFile() const { return file_; }

 private:
  QString folder_;
  LanguageId id_ = LanguageId::En;
  IniText file_;
  QHash<int, QString> overrides_;
};

}  // namespace kolvane
