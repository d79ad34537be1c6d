#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>

#include "platform/clock.h"

class QTimer;

namespace kolvane {

class GatewayContext;

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

// A client that sends nothing and takes no reply for so long is closed, and so is one that
// completes nothing in that time.
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

// The time-outs of one session. A client silent for the limit (no byte received, no reply
// taken) is closed; so is one that completes nothing (no mail accepted, no message retrieved
// or deleted) within it, whatever it sends. While a mail is transferred only silence counts,
// and its time is not held against the session.
class SessionWatch {
 public:
  enum class Expiry { None, Silent, Idle };

  explicit SessionWatch(Tick limitMs, Tick now) : limit_(limitMs), heard_(now), done_(now) {}
  void heard(Tick now) { heard_ = now; }
  void completed(Tick now) {
    done_ = now;
    transferFrom_ = now;  // a transfer that goes on counts from here
  }
  void transfer(bool on, Tick now) {
    if (on == transferring_) return;
    transferring_ = on;
    if (on) {
      transferFrom_ = now;
    } else {
      done_ += now - transferFrom_;
    }
  }
  Expiry expired(Tick now) const {
    if (now - heard_ >= limit_) return Expiry::Silent;
    if (!transferring_ && now - done_ >= limit_) return Expiry::Idle;
    return Expiry::None;
  }
  // Milliseconds until the next time-out is due (0 when one is).
  Tick dueIn(Tick now) const {
    const auto left = [this, now](Tick from) {
      const Tick past = now - from;
      return past >= limit_ ? Tick{0} : limit_ - past;
    };
    const Tick silent = left(heard_);
    return transferring_ ? silent : std::min(silent, left(done_));
  }
  Tick limitMs() const { return limit_; }

 private:
  Tick limit_;
  Tick heard_;
  Tick done_;
  Tick transferFrom_ = 0;
  bool transferring_ = false;
};

// The log line of a session closed at its limit ("SMTP" or "POP3").
QString SessionExpiredLine(GatewayContext& g, const QString& server, const QString& name,
                           const SessionWatch& watch, SessionWatch::Expiry expiry);
// Wakes the server's watch when the soonest session is due (next: max when none is).
void ArmSessionWatch(QTimer& timer, Tick next);

}  // namespace kolvane
