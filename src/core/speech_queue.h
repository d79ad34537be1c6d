#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "core/speech_engine.h"

namespace kolvane {

class Gateway;

// Texts to speak, spoken one after the other by one engine per run of the queue. The engine
// speaks asynchronously (the desktop engine on a thread of its own); the queue stays here.
class SpeechQueue {
 public:
  SpeechQueue(Gateway& g, SpeechEngineFactory factory);

  // Queues a text; the first text of an idle queue starts a speaking run.
  void TtsSpeak(const QString& text);
  // Refills the voice list from the engine's voices ("Error" when there is no engine). A list
  // still empty is filled by the first speaking run.
  void fillVoiceList();
  void setEngineFactory(SpeechEngineFactory factory) { factory_ = std::move(factory); }

  // The voice list the settings dialog shows; the entry equal to TtsVoice speaks, else the
  // selected one.
  const QStringList& voiceList() const { return voices_; }
  int selectedVoice() const { return selected_; }
  void selectVoice(int index) { selected_ = index; }
  const QStringList& SpeakQueue() const { return queue_; }

  // An engine that never reports the end of a text (a speech service without audio) must not
  // hold the queue for ever: after this long the text counts as failed.
  static int speakLimitMs(const QString& text) { return 30000 + 300 * int(text.size()); }
  bool waitingForEngine() const { return watchdog_.isActive(); }
  void speakingTimedOut() { spoken(false); }

 private:
  void speakNext();
  void spoken(bool ok);
  void end();

  Gateway& g_;
  SpeechEngineFactory factory_;
  QStringList queue_;
  qsizetype current_ = 0;
  std::unique_ptr<SpeechEngine> engine_;
  QStringList voices_;
  int selected_ = -1;
  QObject context_;  // carries the engine's notices onto the loop
  QTimer watchdog_;
};

}  // namespace kolvane
