#pragma once

#include <QHash>
#include <QString>

#include "platform/ini_text.h"

namespace kolvane {

class Language;

inline constexpr char kLanguageFileName[] = "Lang.ini";
inline constexpr char kLanguageStrings[] = "LangStr";

// The language file as text. Accepts UTF-16 with byte-order mark (as exported) and UTF-8;
// a missing, unreadable or implausibly large file reads as empty.
IniText readLanguageFile(const QString& path);

// The catalogue overrides of section LangStr, by catalogue number: the value of the entry's
// key, or its numbered lines key_1, key_2, ... joined by CR.
QHash<int, QString> loadOverrides(const IniText& file);

// The language file content for the language in force: section LangStr, and the caption
// sections unless Ini is in force.
IniText buildExport(const Language& language);

// A value as written to the file so that reading it back gives it unchanged: quoted when it
// has surrounding blanks or surrounding double quotes, which the reader would strip.
QString iniValueFor(const QString& value);

}  // namespace kolvane
