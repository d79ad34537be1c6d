#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace kolvane {

// The gateway's own view of a speech engine, so that tests can record what would be spoken.
// Called on the gateway's thread only; speaking is asynchronous.
class SpeechEngine {
 public:
  virtual ~SpeechEngine() = default;
  // Descriptions of the engine's voices, in its own order; empty while it is starting up.
  virtual QStringList voices() const = 0;
  // The voice of that name, else the one at index (none when out of range).
  virtual void selectVoice(const QString& name, int index) = 0;
  // Starts speaking; done follows once, later, with false when the engine failed.
  virtual void say(const QString& text, std::function<void(bool ok)> done) = 0;
};

// Makes an engine; null when no engine can be reached.
using SpeechEngineFactory = std::function<std::unique_ptr<SpeechEngine>()>;

// The desktop's speech service, started and spoken to on a thread of its own: starting it
// takes seconds and a service without audio may never answer.
std::unique_ptr<SpeechEngine> MakeQtSpeechEngine();

}  // namespace kolvane
