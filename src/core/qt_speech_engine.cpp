#include <QTextToSpeech>
#include <QThread>
#include <QTimer>
#include <QVoice>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "core/speech_engine.h"

namespace kolvane {

namespace {

// Everything the gateway's thread and the speech thread exchange, behind one mutex; each side
// polls it on its own loop, so nothing but this mutex orders the two.
struct SpeechShared {
  struct Request {
    QString text;  // empty: choose a voice
    QString voiceName;
    int voiceIndex = -1;
  };

  std::mutex mutex;
  std::deque<Request> requests;  // to the speech thread
  bool stop = false;
  QStringList voices;          // from the speech thread, once the service has started
  std::optional<bool> spoken;  // from the speech thread: the last text ended (false: failed)
};

constexpr int kPollMs = 50;

// The speech thread: starts the service there (it takes seconds), then carries out the
// requests one at a time until it is told to stop.
class SpeechThread final : public QThread {
 public:
  explicit SpeechThread(std::shared_ptr<SpeechShared> shared) : shared_(std::move(shared)) {}

 private:
  void run() override {
    const std::shared_ptr<SpeechShared> shared = std::move(shared_);
    QTextToSpeech tts;
    QStringList names;
    for (const QVoice& voice : tts.availableVoices()) names << voice.name();
    {
      std::lock_guard lock(shared->mutex);
      shared->voices = names;
    }
    bool waiting = false;
    bool speaking = false;
    const auto finish = [&](bool ok) {
      waiting = false;
      std::lock_guard lock(shared->mutex);
      shared->spoken = ok;
    };
    connect(&tts, &QTextToSpeech::stateChanged, &tts, [&](QTextToSpeech::State state) {
      if (!waiting) return;
      if (state == QTextToSpeech::Speaking) {
        speaking = true;
      } else if (state == QTextToSpeech::Error || (state == QTextToSpeech::Ready && speaking)) {
        finish(state != QTextToSpeech::Error);
      }
    });
    QTimer poll;
    connect(&poll, &QTimer::timeout, &tts, [&] {
      std::deque<SpeechShared::Request> requests;
      {
        std::lock_guard lock(shared->mutex);
        if (shared->stop) {
          exit();
          return;
        }
        requests.swap(shared->requests);
      }
      for (const SpeechShared::Request& r : requests) {
        if (r.text.isEmpty()) {
          chooseVoice(tts, r.voiceName, r.voiceIndex);
        } else if (tts.state() == QTextToSpeech::Error) {
          finish(false);
        } else {
          waiting = true;
          speaking = false;
          tts.say(r.text);
        }
      }
    });
    poll.start(kPollMs);
    exec();
  }

  static void chooseVoice(QTextToSpeech& tts, const QString& name, int index) {
    const QList<QVoice> all = tts.availableVoices();
    const auto named =
        std::find_if(all.begin(), all.end(), [&name](const QVoice& v) { return v.name() == name; });
    if (named != all.end()) {
      tts.setVoice(*named);
    } else if (index >= 0 && index < all.size()) {
      tts.setVoice(all[index]);
    }
  }

  std::shared_ptr<SpeechShared> shared_;  // handed to run()
};

class QtSpeechEngine final : public SpeechEngine {
 public:
  QtSpeechEngine() : shared_(std::make_shared<SpeechShared>()) {
    thread_ = new SpeechThread(shared_);
    // A service that hangs keeps its thread; the thread goes whenever it ends.
    QObject::connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
    thread_->start();
    QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { collect(); });
  }

  ~QtSpeechEngine() override {
    {
      std::lock_guard lock(shared_->mutex);
      shared_->stop = true;
    }
    thread_->wait(1000);
  }

  QStringList voices() const override {
    std::lock_guard lock(shared_->mutex);
    return shared_->voices;
  }

  void selectVoice(const QString& name, int index) override {
    std::lock_guard lock(shared_->mutex);
    shared_->requests.push_back({{}, name, index});
  }

  void say(const QString& text, std::function<void(bool)> done) override {
    done_ = std::move(done);
    {
      std::lock_guard lock(shared_->mutex);
      shared_->spoken.reset();
      shared_->requests.push_back({text, {}, -1});
    }
    poll_.start(kPollMs);
  }

 private:
  void collect() {
    std::optional<bool> spoken;
    {
      std::lock_guard lock(shared_->mutex);
      spoken = std::exchange(shared_->spoken, std::nullopt);
    }
    if (!spoken) return;
    poll_.stop();
    // done may release this engine.
    if (done_) std::exchange(done_, {})(*spoken);
  }

  std::shared_ptr<SpeechShared> shared_;
  SpeechThread* thread_;  // deletes itself once finished
  QTimer poll_;
  std::function<void(bool)> done_;
};

}  // namespace

std::unique_ptr<SpeechEngine> MakeQtSpeechEngine() {
  if (QTextToSpeech::availableEngines().isEmpty()) return nullptr;
  return std::make_unique<QtSpeechEngine>();
}

}  // namespace kolvane
