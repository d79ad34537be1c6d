#include "mail/smtp_line_reader.h"

#include <utility>

namespace kolvane {

void SmtpLineReader::feed(const QByteArray& bytes,
                          const std::function<void(const QByteArray& line)>& onLine) {
  for (const char c : bytes) {
    if (c != '\r' && c != '\n') {
      line_ += c;
      continue;
    }
    if (crLf1_ != 0 && c != crLf1_) continue;
    if (crLf1_ == 0 && !line_.isEmpty()) crLf1_ = c;
    // The buffer is emptied first: a handler that throws leaves no half-line behind.
    const QByteArray line = std::exchange(line_, {});
    onLine(line);
  }
}

}  // namespace kolvane
