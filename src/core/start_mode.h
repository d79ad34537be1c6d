#pragma once

#include <QString>

namespace kolvane {

// What the program file is asked to be, from its name, its place and its command-line text.
struct StartMode {
  enum Kind {
    Gateway,      // the gateway itself
    Installer,    // the setup wizard
    Uninstaller,  // the uninstaller's copy removing `folder`
    EndAtOnce,    // an installer's copy in the temporary folder with nothing to do
  };
  Kind kind = Gateway;
  bool tempCopy = false;  // run from the temporary folder as an installer's copy
  QString folder;         // the installation the uninstaller removes
};

// A folder path as the program keeps it: ending in "/".
QString withSlash(QString dir);

StartMode startModeOf(const QString& programFile, const QString& commandLineText,
                      const QString& tempPath);

}  // namespace kolvane
