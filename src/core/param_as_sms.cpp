#include "core/param_as_sms.h"

#include "context/settings_loader.h"
#include "core/gateway.h"
#include "core/typed_sms.h"
#include "mail/store_append.h"

namespace kolvane {

namespace {

const QString kSection = QStringLiteral("ParamAsSMS");

tMailRec commandLineJob(const GatewayState& gs, const QString& text) {
  return LocalSmsJob(gs.cfg.RunParDefTelNo,
                     QByteArrayLiteral("Kolvane sends SMS message from command line"), text);
}

}  // namespace

void QueueParamAsSms(Gateway& g) {
  IniFile* ini = g.settingsFile();
  if (ini == nullptr) return;
  GatewayState& gs = g.state();
  const QList<IniText::Entry> entries = ini->read().entries(kSection);
  if (entries.isEmpty()) return;
  QList<IniText::Entry> taken;
  for (const IniText::Entry& entry : entries) {
    // A store that cannot be opened at all keeps the text for the next send phase.
    if (AppendRecord(g, gs.file(files::kSmtpTmp), commandLineJob(gs, paramAsSmsText(entry.second)),
                     true) == AppendResult::Failed) {
      continue;
    }
    gs.Lamps.smtpBits |= kLampStore;
    taken << entry;
  }
  // Only keys still holding the text taken go; another copy may have queued more meanwhile.
  ini->update([&](IniText& t) {
    for (const IniText::Entry& entry : taken) {
      if (t.value(kSection, entry.first) == entry.second) t.removeKey(kSection, entry.first);
    }
  });
}

}  // namespace kolvane
