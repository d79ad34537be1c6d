#include "modemsim/reply_queue.h"

#include <algorithm>

namespace kolvane::modemsim {

void ReplyQueue::push(const QByteArray& bytes, Tick now, int delayMs, int chunkBytes, int pauseMs) {
  if (bytes.isEmpty()) return;
  Tick due = now + static_cast<Tick>(std::max(delayMs, 0));
  if (!chunks_.empty() && !reached(chunks_.back().due, due)) due = chunks_.back().due;
  const qsizetype step = chunkBytes > 0 ? chunkBytes : bytes.size();
  for (qsizetype at = 0; at < bytes.size(); at += step) {
    chunks_.push_back({due, bytes.mid(at, step)});
    due += static_cast<Tick>(std::max(pauseMs, 0));
  }
}

QByteArray ReplyQueue::take(Tick now) {
  QByteArray out;
  while (!chunks_.empty() && reached(chunks_.front().due, now)) {
    out += chunks_.front().bytes;
    chunks_.pop_front();
  }
  return out;
}

std::optional<Tick> ReplyQueue::nextDue() const {
  if (chunks_.empty()) return std::nullopt;
  return chunks_.front().due;
}

}  // namespace kolvane::modemsim
