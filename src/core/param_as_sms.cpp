#include "core/param_as_sms.h"

#include "context/settings_loader.h"
#include "core/gateway.h"
#include "core/local_sms.h"

namespace kolvane {

namespace {

const QString kSection = QStringLiteral("ParamAsSMS");

LocalSms commandLineSms(const GatewayState& gs, const QString& text) {
  return {gs.cfg.RunParDefTelNo, QByteArrayLiteral("Kolvane sends SMS message from command line"),
          text};
}

}  // namespace

void QueueParamAsSms(Gateway& g) {
  IniFile* ini = g.settingsFile();
  if (ini == nullptr) return;
  const GatewayState& gs = g.state();
  const QList<IniText::Entry> entries = ini->read().entries(kSection);
  if (entries.isEmpty()) return;
  QList<IniText::Entry> taken;
  for (const IniText::Entry& entry : entries) {
    // A store that cannot be opened at all keeps the text for the next send phase.
    if (StoreOrReportLocalSms(g, commandLineSms(gs, paramAsSmsText(entry.second)))) taken << entry;
  }
  // Only keys still holding the text taken go; another copy may have queued more meanwhile.
  ini->update([&](IniText& t) {
    for (const IniText::Entry& entry : taken) {
      if (t.value(kSection, entry.first) == entry.second) t.removeKey(kSection, entry.first);
    }
  });
}

}  // namespace kolvane
