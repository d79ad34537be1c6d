#include "mail/smtp_line_reader.h"

#include <utility>

#include "mail/client_limits.h"

namespace kolvane {

void SmtpLineReader::deliver(const QByteArray& line, qsizetype dropped, LineEnd end,
                             const OnLine& onLine) {
  const LineEnd before = std::exchange(before_, end);
  onLine(line, dropped, end, before);
}

void SmtpLineReader::feed(const QByteArray& bytes, const OnLine& onLine) {
  const char* at = bytes.constData();
  const char* const end = at + bytes.size();
  while (at != end) {
    if (std::exchange(afterCr_, false)) {
      const bool lf = *at == '\n';
      if (lf) {
        ++at;
        // The line emitted at its CR ended with CR LF after all.
        before_ = LineEnd::CrLf;
      }
      if (std::exchange(heldDot_, false)) deliver(".", 0, lf ? LineEnd::CrLf : LineEnd::Cr, onLine);
      continue;
    }
    const char* brk = findLineBreak(at, end);
    dropped_ += appendToLine(line_, at, brk, maxLine_);
    if (brk == end) break;
    at = brk + 1;
    // The buffer is emptied first: a handler that throws leaves no half-line behind.
    const QByteArray line = std::exchange(line_, {});
    const qsizetype dropped = std::exchange(dropped_, 0);
    if (*brk == '\n') {
      deliver(line, dropped, LineEnd::Lf, onLine);
    } else if (at == end) {
      afterCr_ = true;
      if (line == "." && dropped == 0) {
        heldDot_ = true;
      } else {
        deliver(line, dropped, LineEnd::Cr, onLine);
      }
    } else if (*at == '\n') {
      ++at;
      deliver(line, dropped, LineEnd::CrLf, onLine);
    } else {
      deliver(line, dropped, LineEnd::Cr, onLine);
    }
  }
}

}  // namespace kolvane
