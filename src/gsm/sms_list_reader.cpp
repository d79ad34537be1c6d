#include "gsm/sms_list_reader.h"

#include <algorithm>

#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/link_state.h"
#include "gsm/sms_list_scan.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr Tick kListStallMs = 1500;

// A modem whose echo is still on repeats the list command first; its "+CMGL" is no header and
// would swallow the first message.
QByteArray WithoutEcho(const QByteArray& answer, const QByteArray& command) {
  const qsizetype start = answer.indexOf(command);
  if (start < 0) return answer;
  const bool leadsIn = std::all_of(answer.begin(), answer.begin() + start,
                                   [](char c) { return c == '\r' || c == '\n'; });
  return leadsIn ? answer.mid(start + command.size()) : answer;
}

void ListComplete(GatewayContext& g, const QByteArray& answer) {
  LinkState& link = g.link();
  g.Log(g.state().cfg.Debug, QStringLiteral("O>|") + QString::fromUtf8(answer) + QLatin1Char('|'));
  link.ListDone = true;
  link.ListTick = 0;
  const QString storage = link.MemIdx == 1 ? g.Text(86) : QStringLiteral("SIM");
  g.Log(true, fillPlaceholders(g.Text(61), {QString::number(link.SmsRecvArr.size()), storage}));
}

}  // namespace

void ReadSmsList(GatewayContext& gateway) {
  LinkState& link = gateway.link();
  if (link.ListTick == 0 || !link.GsmSendStr.contains(at::kList) || link.ListBuf.size() <= 9)
    return;
  const Tick now = gateway.clock().tick();
  const bool grown = link.ListBuf.size() != link.ListPrev.size();
  if (!grown && !tickBefore(link.ListTick + kListStallMs, now)) return;

  link.ListPrev = link.ListBuf;
  const QByteArray answer = WithoutEcho(link.ListPrev, link.GsmSendStr);
  // Silent for too long: store what arrived; the rest, if it ever comes, is read afresh.
  const bool stalled = !grown;
  if (stalled) {
    gateway.Log(true, QStringLiteral("GSM gateway - List SMS messages - timeout"));
    gateway.Log(gateway.state().cfg.Debug,
                QStringLiteral("E>|") + QString::fromUtf8(answer) + QLatin1Char('|'));
    link.ListBuf.clear();
    link.ListPrev.clear();
    const Tick later = now + 200;
    link.ListTick = later == 0 ? 1 : later;
  }

  // Nothing is stored until the answer is complete, so re-parsing never duplicates.
  ListScan scan = ScanSmsList(gateway, answer, stalled);
  if (scan == ListScan::Complete && !stalled) scan = ScanSmsList(gateway, answer, true);
  if (scan == ListScan::Complete) ListComplete(gateway, answer);
}

}  // namespace kolvane
