#include "core/host_actions.h"

#include "core/gateway.h"

namespace kolvane {

HostActions::HostActions(Gateway& g, CommandRunner::Launch launch, SpeechEngineFactory speech)
    : g_(g),
      speech_(g, std::move(speech)),
      runner_(std::move(launch), [this] { RunResultsArrived(g_, runner_); }) {}

void HostActions::RunCommand(RunForm form, const QString& commandLine, const QString& params,
                             const QByteArray& telNo) {
  kolvane::RunCommand(g_, runner_, form, commandLine, params, telNo);
}

void HostActions::ReportRunResults() {
  kolvane::ReportRunResults(g_, runner_);
}

std::unique_ptr<HostActions> installHostActions(Gateway& g) {
  auto actions = std::make_unique<HostActions>(g, LaunchRecord, MakeQtSpeechEngine);
  HostActions* a = actions.get();
  GatewayHooks& h = g.hooks();
  h.runHookCommand = [a](const QString& text) { a->RunCommand(RunForm::Hook, {}, text, {}); };
  h.runSmsCommand = [a](const QByteArray& telNo, const QString& commandLine,
                        const QString& params) {
    a->RunCommand(RunForm::Sms, commandLine, params, telNo);
  };
  h.speak = [a](const QString& text) { a->speech().TtsSpeak(text); };
  // Without windows nobody shows the list; the speech service is not woken before a text
  // is to be spoken (a first speaking run fills the list).
  if (!g.options().headless) h.fillVoiceList = [a] { a->speech().fillVoiceList(); };
  h.cycle.reportRunResults = [a] { a->ReportRunResults(); };
  return actions;
}

}  // namespace kolvane
