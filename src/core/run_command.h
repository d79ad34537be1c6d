#pragma once

#include <QByteArray>
#include <QString>

#include "core/command_runner.h"

namespace kolvane {

class Gateway;

enum class RunForm {
  Hook = 1,  // the sibling command program with the hook's text as parameters
  Sms = 2,   // a command line from an SMS; its result goes back to the sender
};

// The sibling program a hook starts, in the program folder.
inline constexpr char kHookProgram[] = "CmdKolvane";

// Starts a record on the worker: the guard window first, then the command itself.
std::int32_t LaunchRecord(const ExtAppRunRec& rec);

// Queues a command line; a worker starts it.
void RunCommand(Gateway& g, CommandRunner& runner, RunForm form, const QString& commandLine,
                const QString& params, const QByteArray& telNo);
// On the gateway's thread, when a worker has ended with results.
void RunResultsArrived(Gateway& g, const CommandRunner& runner);
// Reports every result that waits: an SMS to the sender of an SMS command, a log line for a
// hook.
void ReportRunResults(Gateway& g, CommandRunner& runner);

}  // namespace kolvane
