#include "core/speech_queue.h"

#include "core/gateway.h"

namespace kolvane {

namespace {
const QString kTtsError = QStringLiteral("TTS error");
}

SpeechQueue::SpeechQueue(Gateway& g, SpeechEngineFactory factory)
    : g_(g), factory_(std::move(factory)) {
  watchdog_.setSingleShot(true);
  QObject::connect(&watchdog_, &QTimer::timeout, &context_, [this] { speakingTimedOut(); });
}

void SpeechQueue::TtsSpeak(const QString& text) {
  if (text.isEmpty()) return;
  queue_ << text;
  if (g_.state().SpeakThreadOn) return;
  g_.state().SpeakThreadOn = true;
  engine_ = factory_ ? factory_() : nullptr;
  if (!engine_) {
    g_.Log(true, kTtsError);
    end();
    return;
  }
  if (voices_.isEmpty()) {
    voices_ = engine_->voices();
    selected_ = voices_.isEmpty() ? -1 : 0;
  }
  engine_->selectVoice(g_.state().cfg.TtsVoice, selected_);
  current_ = 0;
  speakNext();
}

void SpeechQueue::speakNext() {
  while (current_ < queue_.size() && queue_[current_].isEmpty()) ++current_;
  if (current_ >= queue_.size()) {
    end();
    return;
  }
  watchdog_.start(speakLimitMs(queue_[current_]));
  // The engine may report from within its own call; the next text starts from the loop.
  engine_->say(queue_[current_], [this](bool ok) {
    QMetaObject::invokeMethod(
        &context_, [this, ok] { spoken(ok); }, Qt::QueuedConnection);
  });
}

void SpeechQueue::spoken(bool ok) {
  if (!engine_) return;
  watchdog_.stop();
  if (!ok) {
    g_.Log(true, kTtsError);
    end();
    return;
  }
  queue_[current_].clear();
  ++current_;
  speakNext();
}

void SpeechQueue::end() {
  watchdog_.stop();
  engine_.reset();
  queue_.clear();
  current_ = 0;
  g_.state().SpeakThreadOn = false;
}

void SpeechQueue::fillVoiceList() {
  voices_.clear();
  const std::unique_ptr<SpeechEngine> engine = factory_ ? factory_() : nullptr;
  if (engine) {
    voices_ = engine->voices();
  } else {
    voices_ << QStringLiteral("Error");
    g_.Log(true, kTtsError);
  }
  selected_ = voices_.isEmpty() ? -1 : 0;
}

}  // namespace kolvane
