#include <cmath>
#include <optional>

#include "context/gateway_context.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/ucs2.h"
#include "settings/catalogue.h"

namespace kolvane::at {

namespace {

// The number after a fixed prefix; blanks around it are tolerated.
std::optional<int> NumberField(const QByteArray& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  return ok ? std::optional<int>(value) : std::nullopt;
}

void ActivityStatus(GatewayContext& g, const QByteArray& upper) {
  LinkState& link = g.link();
  const std::optional<int> value = NumberField(upper.mid(6));
  link.CpasValue = value && *value >= 0 && *value < 5 ? static_cast<std::uint8_t>(*value) : 255;
  if (link.CpasValue == 3 || link.CpasValue == 4)
    g.Log(true, g.Text(58) + QLatin1Char(' ') + QString::number(link.CpasValue));
}

// The quoted number; numbers too long for digits come as UCS2 hex.
void ServiceCentreNumber(GatewayContext& g, const QByteArray& upper) {
  LinkState& link = g.link();
  const qsizetype open = upper.indexOf('"');
  const qsizetype close = open < 0 ? -1 : upper.indexOf('"', open + 1);
  const QByteArray quoted = close < 0 ? QByteArray() : upper.mid(open + 1, close - open - 1);
  QByteArray number;
  if (quoted.size() > 16)
    number = StrictTextOfUcs2Hex(quoted);  // empty when it is not whole UCS2 hex
  else if (quoted.size() >= 5)
    number = quoted.startsWith('+') || quoted.startsWith("00") ? quoted : '+' + quoted;
  if (number.isEmpty()) {
    g.Log(true, g.Text(46));
    link.NoAnswerCnt = 100;
    return;
  }
  link.SmscNo = number;
  g.LogStatus(kLinkStatus + QStringLiteral("centre"),
              fillPlaceholders(g.Text(45), {QString::fromUtf8(number)}));
}

// Signal quality 0..31 (99 unknown) shown as 0..100 % in steps of 4.
void SignalQuality(GatewayContext& g, const QByteArray& upper) {
  const qsizetype comma = upper.indexOf(',');
  int r = comma < 6 ? 0 : NumberField(upper.mid(6, comma - 6)).value_or(0);
  if (r >= 99 || r < 0)
    r = 0;
  else if (r >= 30)
    r = 30;
  const long q = std::lrint(r * 25.0 / 30.0);  // halves to even
  g.LogStatus(kLinkStatus + QStringLiteral("signal"),
              g.Text(57) + QLatin1Char(' ') + QString::number(4 * q) + QLatin1Char('%'));
}

}  // namespace

void InformationLine(GatewayContext& gateway, const QByteArray& upper) {
  if (upper.startsWith("+CMGS") || upper.startsWith("+CMGW"))
    gateway.link().SmsAccepted = true;  // the message reference is not kept
  else if (upper.startsWith("+CPAS:"))
    ActivityStatus(gateway, upper);
  else if (upper.startsWith("+CSCA:"))
    ServiceCentreNumber(gateway, upper);
  else if (upper.startsWith("+CSQ:"))
    SignalQuality(gateway, upper);
  else
    SimInformation(gateway, upper);
}

}  // namespace kolvane::at
