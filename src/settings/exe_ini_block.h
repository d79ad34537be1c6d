#pragma once

#include <QIODevice>
#include <QString>

#include "platform/ini_text.h"

namespace kolvane {

// INI text appended to the end of the program file: a pre-configured copy of the program
// carries its own defaults.
struct ExeIniBlock {
  // Number of block bytes (0 without block), or -1 open failed, -2 read failed, -3 no end
  // of the block within the window.
  int result = 0;
  IniText ini;
};

ExeIniBlock readExeIniBlock(const QString& programFile);
// The same on an open device (tests feed devices that fail).
ExeIniBlock readExeIniBlock(QIODevice& device);
// The log text for a negative result; empty otherwise.
QString exeIniErrorText(int result);

// The ".DEF" copy builder. Returns the text of the information or error box.
struct DefCopyResult {
  bool ok = false;
  QString message;
};
// True when the command-line text asks for a pre-configured copy.
bool isDefCopyRequest(const QString& commandLineText);
// The copy is written beside its target and renamed over it only when complete; a target that
// is the program itself or its settings file is refused.
DefCopyResult buildDefCopy(const QString& programFile, const QString& programDir,
                           const QString& commandLineText, const QString& settingsFile);

}  // namespace kolvane
