#pragma once

#include <QByteArray>
#include <QString>

#include "core/command_runner.h"
#include "core/run_command.h"
#include "core/speech_queue.h"

namespace kolvane {

class Gateway;

// What the gateway does on the computer it runs on: start command lines and speak texts.
class HostActions {
 public:
  HostActions(Gateway& g, CommandRunner::Launch launch, SpeechEngineFactory speech);

  void RunCommand(RunForm form, const QString& commandLine, const QString& params,
                  const QByteArray& telNo);
  void ReportRunResults();

  CommandRunner& runner() { return runner_; }
  SpeechQueue& speech() { return speech_; }

 private:
  Gateway& g_;
  SpeechQueue speech_;
  CommandRunner runner_;  // last: its worker is joined before the rest goes
};

// Makes the gateway's actions with the real launcher and speech engine and hands the command,
// speech and result hooks to them.
std::unique_ptr<HostActions> installHostActions(Gateway& g);

}  // namespace kolvane
