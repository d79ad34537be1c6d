#include "mail/smtp_line_reader.h"

#include <utility>

#include "mail/client_limits.h"

namespace kolvane {

void SmtpLineReader::feed(const QByteArray& bytes, const OnLine& onLine) {
  const char* at = bytes.constData();
  const char* const end = at + bytes.size();
  while (at != end) {
    const char* brk = findLineBreak(at, end);
    dropped_ += appendToLine(line_, at, brk, maxLine_);
    if (brk == end) break;
    at = brk + 1;
    const char c = *brk;
    if (crLf1_ != 0 && c != crLf1_) continue;
    if (crLf1_ == 0 && !line_.isEmpty()) crLf1_ = c;
    // The buffer is emptied first: a handler that throws leaves no half-line behind.
    const QByteArray line = std::exchange(line_, {});
    onLine(line, std::exchange(dropped_, 0));
  }
}

}  // namespace kolvane
