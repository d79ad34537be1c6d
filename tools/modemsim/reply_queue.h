#pragma once

#include <QByteArray>
#include <deque>
#include <optional>

#include "modemsim/stored_sms.h"

namespace kolvane::modemsim {

// True once now has reached due, on the wrapping 32-bit tick.
inline bool reached(Tick due, Tick now) {
  return static_cast<std::int32_t>(now - due) >= 0;
}

// Bytes to write, each chunk released at its own tick, always in the order they were queued.
class ReplyQueue {
 public:
  // The bytes are released delayMs after now (never before what is queued already), in chunks of
  // chunkBytes (0 = one chunk) pauseMs apart.
  void push(const QByteArray& bytes, Tick now, int delayMs = 0, int chunkBytes = 0,
            int pauseMs = 0);
  QByteArray take(Tick now);
  std::optional<Tick> nextDue() const;
  bool empty() const { return chunks_.empty(); }
  void clear() { chunks_.clear(); }

 private:
  struct Chunk {
    Tick due;
    QByteArray bytes;
  };
  std::deque<Chunk> chunks_;
};

}  // namespace kolvane::modemsim
