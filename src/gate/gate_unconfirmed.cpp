#include <QStringList>
#include <algorithm>

#include "context/gateway_context.h"
#include "gate/gate_protocol.h"
#include "gsm/link_state.h"

namespace kolvane {

namespace {

const QString kSection = QStringLiteral("GateSent");
const QString kKey = QStringLiteral("Unconfirmed");

bool waitsForConfirmation(const tSmtpRunNdx& sent) {
  return !sent._Confirm && sent._IE_CAUSE_5 == -1;
}

}  // namespace

std::vector<std::int32_t> GateUnconfirmedPositions(GatewayContext& g) {
  std::vector<std::int32_t> out;
  for (const tSmtpRunNdx& sent : g.link().Gate.SentArr) {
    if (waitsForConfirmation(sent)) out.push_back(sent._SmtpRunPos);
  }
  if (IniFile* ini = g.settingsFile()) {
    // Unreadable entries (a hand edit) are passed over: a position not at a record's start
    // would re-queue a fragment.
    for (const QString& item : ini->value(kSection, kKey).split(u',', Qt::SkipEmptyParts)) {
      bool ok = false;
      const int pos = item.trimmed().toInt(&ok);
      if (ok && pos >= 0) out.push_back(pos);
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

void GateSaveUnconfirmed(GatewayContext& g) {
  IniFile* ini = g.settingsFile();
  if (!ini) return;
  QStringList positions;
  for (const tSmtpRunNdx& sent : g.link().Gate.SentArr) {
    if (waitsForConfirmation(sent)) positions << QString::number(sent._SmtpRunPos);
  }
  const QString value = positions.join(u',');
  if (ini->value(kSection, kKey) == value) return;
  if (value.isEmpty()) {
    ini->removeKey(kSection, kKey);
  } else {
    ini->setValue(kSection, kKey, value);
  }
}

}  // namespace kolvane
