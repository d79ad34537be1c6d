#include "mail/client_limits.h"

#include <QTimer>
#include <limits>

#include "context/gateway_context.h"
#include "settings/catalogue.h"

#include <algorithm>

namespace kolvane {

Tick idleTimeoutMs(Tick normalMs) {
  bool ok = false;
  const int test = qEnvironmentVariableIntValue(kTestIdleVariable, &ok);
  return ok && test > 0 ? static_cast<Tick>(test) : normalMs;
}

QString acceptFailedText(const QString& server, const QString& reason) {
  return server + QStringLiteral(
                      " server cannot accept a connection (%1): it tries again every "
                      "second")
                      .arg(reason);
}

const char* findLineBreak(const char* at, const char* end) {
  return std::find_if(at, end, [](char c) { return c == '\r' || c == '\n'; });
}

qsizetype appendToLine(QByteArray& line, const char* at, const char* end, qsizetype maxLine) {
  const qsizetype kept = std::clamp<qsizetype>(maxLine - line.size(), 0, end - at);
  line.append(at, kept);
  return (end - at) - kept;
}

QByteArray printable(QByteArray text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return (c >= 0 && c < ' ') || c == '\x7f'; }, '?');
  return text;
}

QString loggedText(const QByteArray& text) {
  constexpr qsizetype kMaxLogged = 256;
  const QString shown = QString::fromLocal8Bit(printable(text.left(kMaxLogged)));
  return text.size() > kMaxLogged ? shown + QStringLiteral("...") : shown;
}

QString SessionExpiredLine(GatewayContext& g, const QString& server, const QString& name,
                           const SessionWatch& watch, SessionWatch::Expiry expiry) {
  const QString seconds = QString::number(watch.limitMs() / 1000.0);
  return expiry == SessionWatch::Expiry::Silent
             ? QStringLiteral("%1 client \"%2\" silent for %3 s: connection closed")
                   .arg(server, name, seconds)
             : fillPlaceholders(g.Text(300), {server, name, seconds});
}

void ArmSessionWatch(QTimer& timer, Tick next) {
  if (next == std::numeric_limits<Tick>::max()) return;
  timer.start(static_cast<int>(std::min<Tick>(next, 24 * 3600 * 1000)) + 1);
}

}  // namespace kolvane
