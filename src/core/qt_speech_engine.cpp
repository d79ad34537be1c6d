#include <QTextToSpeech>
#include <QVoice>

#include "core/speech_engine.h"

namespace kolvane {

namespace {

class QtSpeechEngine final : public SpeechEngine {
 public:
  QtSpeechEngine() {
    // Queued, so that whoever is told may release the engine from within the notice.
    QObject::connect(
        &tts_, &QTextToSpeech::stateChanged, &tts_,
        [this](QTextToSpeech::State state) { stateChanged(state); }, Qt::QueuedConnection);
  }

  bool usable() const { return tts_.state() != QTextToSpeech::Error; }

  QStringList voices() const override {
    QStringList names;
    for (const QVoice& voice : tts_.availableVoices()) names << voice.name();
    return names;
  }

  void selectVoice(int index) override {
    const QList<QVoice> all = tts_.availableVoices();
    if (index >= 0 && index < all.size()) tts_.setVoice(all[index]);
  }

  void say(const QString& text, std::function<void(bool)> done) override {
    done_ = std::move(done);
    speaking_ = false;
    tts_.say(text);
  }

 private:
  void stateChanged(QTextToSpeech::State state) {
    if (!done_) return;
    if (state == QTextToSpeech::Speaking) {
      speaking_ = true;
    } else if (state == QTextToSpeech::Error || (state == QTextToSpeech::Ready && speaking_)) {
      std::exchange(done_, {})(state != QTextToSpeech::Error);
    }
  }

  QTextToSpeech tts_;
  std::function<void(bool)> done_;
  bool speaking_ = false;
};

}  // namespace

std::unique_ptr<SpeechEngine> MakeQtSpeechEngine() {
  if (QTextToSpeech::availableEngines().isEmpty()) return nullptr;
  auto engine = std::make_unique<QtSpeechEngine>();
  if (!engine->usable()) return nullptr;
  return engine;
}

}  // namespace kolvane
