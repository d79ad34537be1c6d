#pragma once

#include <QString>

namespace kolvane {

struct StartupOptions {
  QString programFile;      // path of the program file (holds the Exe-Ini block)
  QString programDir;       // working folder; empty = folder of the program file
  QString commandLineText;  // command-line text after the program's own options
  bool headless = false;
};

}  // namespace kolvane
