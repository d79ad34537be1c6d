#pragma once

#include <QByteArray>
#include <QString>

#include "platform/clock.h"

namespace kolvane {

// Bounds that keep one careless or hostile LAN client from holding a mail server, or its
// memory, for everyone else.

// A longer command line is refused; a longer mail line is cut there.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;
// Bytes the socket layer takes from the kernel for the served client, and for a waiting one
// (whose data stays in the kernel until its turn).
inline constexpr qint64 kServedReadBuffer = 64 * 1024;
inline constexpr qint64 kWaitingReadBuffer = 4 * 1024;
// A client that does not take its replies is not read either, until they have left.
inline constexpr qint64 kMaxUnsentBytes = 256 * 1024;
// Mail text kept for conversion: more than the longest SMS a mail can become, in any encoding.
inline constexpr qsizetype kMaxMailTextBytes = 1024 * 1024;

// A served client that sends no complete line and takes no reply for so long is closed.
inline constexpr Tick kSmtpIdleMs = 5 * 60 * 1000;
inline constexpr Tick kPop3IdleMs = 10 * 60 * 1000;
// Tests shorten both time-outs through this environment variable (milliseconds).
inline constexpr char kTestIdleVariable[] = "KOLVANE_TEST_IDLE_MS";

// The time-out in force: normalMs, or the test value when one is set.
Tick idleTimeoutMs(Tick normalMs);

// The log line of a server ("SMTP", "POP3") that cannot accept connections for now.
QString acceptFailedText(const QString& server, const QString& reason);

// The first CR or LF in [at, end), or end.
const char* findLineBreak(const char* at, const char* end);
// Appends [at, end) to a line being received, keeping it within maxLine bytes; returns the
// number of bytes that did not fit.
qsizetype appendToLine(QByteArray& line, const char* at, const char* end, qsizetype maxLine);

// The text with control bytes shown as "?": what a client sent, fit to echo.
QByteArray printable(QByteArray text);
// What a client sent, fit for a log line: masked like that and cut after a few hundred bytes.
QString loggedText(const QByteArray& text);

// The silence of the served client, counted from its last complete line or taken reply.
class IdleWatch {
 public:
  explicit IdleWatch(Tick limitMs) : limit_(limitMs) {}
  void restart(Tick now) { last_ = now; }
  bool expired(Tick now) const { return now - last_ >= limit_; }
  Tick limitMs() const { return limit_; }

 private:
  Tick limit_;
  Tick last_ = 0;
};

}  // namespace kolvane
