#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "core/command_runner.h"

namespace kolvane {

class Gateway;
struct SmsToCmdSubstType;

enum class RunForm {
  Hook = 1,  // the sibling command program with the hook's text as parameters
  Sms = 2,   // a command line from an SMS; its result goes back to the sender
};

// The sibling program a hook starts, in the program folder.
inline constexpr char kHookProgram[] = "CmdKolvane";

// Starts a record on the worker: the guard window first, then the command itself. An SMS
// command's program is waited for (up to WaitMs) and its end and first output line kept in the
// record; a hook's is not.
std::int32_t LaunchRecord(ExtAppRunRec& rec, const std::atomic<bool>& stopping);

// What a command SMS asks to run.
struct SmsCommand {
  QString commandLine;
  QString params;
};
// The text of a command SMS after its prefix: the name up to the next mark must be listed
// (exactly) in substitutions with a command line, and the parameters follow that mark with
// their leading blanks removed. Any other text names no command.
std::optional<SmsCommand> SmsCommandFromText(const QString& rest, const QString& mark,
                                             const QList<SmsToCmdSubstType>& substitutions);

// Queues a command line; a worker starts it.
void RunCommand(Gateway& g, CommandRunner& runner, RunForm form, const QString& commandLine,
                const QString& params, const QByteArray& telNo);
// On the gateway's thread, when a worker has ended with results.
void RunResultsArrived(Gateway& g, const CommandRunner& runner);
// Reports every result that waits: an SMS to the sender of an SMS command, a log line for a
// hook.
void ReportRunResults(Gateway& g, CommandRunner& runner);

}  // namespace kolvane
