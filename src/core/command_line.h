#pragma once

#include <QString>
#include <QStringList>

#include "core/demo_mode.h"

namespace kolvane {

// The program's command line. An argument beginning with "--" is an option; every other
// argument keeps its meaning (a text to send, "*I", a ".DEF" name, the uninstaller's folder),
// and so does every argument after a lone "--".
struct CommandLine {
  enum class Action { Run, Help, Version, Status, Queue, SetPassword, DeleteUser, Wrong };
  Action action = Action::Run;
  bool headless = false;
  bool demo = false;
  DemoDevice demoDevice = DemoDevice::Modem;
  QString dir;            // --dir, or the demo's folder; empty = the program's own folder
  bool dirGiven = false;  // --dir or --demo named the folder
  QString account;        // --set-password, --delete-user: the account's name
  QStringList rest;       // the arguments that are no options
  QString wrong;          // Action::Wrong: what is wrong, for the usage's first line
};

// args[0] is the program itself.
CommandLine parseCommandLine(const QStringList& args);

// The usage, ending with a line break; programName as the user typed it.
QString usageText(const QString& programName);
// "Kolvane " + the version, ending with a line break.
QString versionText();

// Exit codes of the program.
namespace exitcode {
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;
inline constexpr int kNotRunning = 3;
inline constexpr int kNotReachable = 4;
}  // namespace exitcode

}  // namespace kolvane
