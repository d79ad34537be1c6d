#pragma once

#include <QString>
#include <functional>

namespace kolvane {

class Language;

// The message boxes of the export, shown with windows or logged when headless. All boxes are
// titled "Kolvane". Without a confirm callback an existing file is never overwritten.
struct LanguageDialogs {
  std::function<bool(const QString& title, const QString& text)> confirmOverwrite;  // OK/Cancel
  std::function<void(const QString& title, const QString& text)> error;
  std::function<void(const QString& title, const QString& text)> info;
};

// The export file of the language in force: program folder + language name + ".ini".
QString exportPath(const Language& language);

// Export(): writes the texts of the language in force to exportPath(); returns whether the
// whole file was written.
bool exportLanguage(const Language& language, const LanguageDialogs& dialogs);

// A language button pressed with the right mouse button: sets the language of the button,
// exports it and, on success, tells the user where the file is.
bool setLanguageAndExport(Language& language, const QString& buttonName,
                          const LanguageDialogs& dialogs);

}  // namespace kolvane
