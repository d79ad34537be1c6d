#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace kolvane {

// Result codes of starting a command, in the numbering the reports have always used.
inline constexpr std::int32_t kRunStarted = 42;  // any value above 32 means started
inline constexpr std::int32_t kRunFileNotFound = 2;
inline constexpr std::int32_t kRunPathNotFound = 3;
inline constexpr std::int32_t kRunAccessDenied = 5;
inline constexpr std::int32_t kRunBadFormat = 11;
inline constexpr std::int32_t kRunNoAssociation = 31;
inline constexpr std::int32_t kRunNotRun = -1;
inline constexpr std::int32_t kRunGuardWindow = -2;

// One queued command line.
struct ExtAppRunRec {
  QByteArray CmdTelNo;  // sender of an SMS-started command; empty for a hook
  QString CmdLi;        // program or document
  QString Params;
  std::int32_t RunErrCode = kRunNotRun;
  bool SaveStatus = false;  // run, result waiting to be reported
  // Title of the guard window, taken when the command was queued.
  QString FindWinNotRun;
  // An SMS command's program is waited for this long (CmdTimeout); a hook's never.
  int WaitMs = 0;
  // What the wait found: the program ended with ExitStatus, or it is still running.
  bool Waited = false;
  bool Ended = false;
  int ExitStatus = -1;
  QByteArray FirstLine;  // of its standard output, as written
};

// Description of a result code.
QString RunResultText(std::int32_t code);

}  // namespace kolvane
