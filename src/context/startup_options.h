#pragma once

#include <QString>

namespace kolvane {

struct StartupOptions {
  QString programFile;      // path of the program file (holds the Exe-Ini block)
  QString programDir;       // working folder; empty = folder of the program file
  QString commandLineText;  // command-line text after the program's own options
  bool headless = false;
  // Without programDir, a program folder that is no place for files gives way to the user's
  // data folder (the installer keeps its own folder).
  bool userFolderFallback = false;
};

}  // namespace kolvane
