#include "core/settings_reload.h"

#include <QDir>
#include <algorithm>

#include "context/settings_loader.h"
#include "core/gateway.h"
#include "core/mail_ports.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

const QString kCfg = QStringLiteral("CFG");

// The list sections a reload takes over when the file changed them.
const QStringList kListSections{QStringLiteral("AliasComp"),     QStringLiteral("AliasName"),
                                QStringLiteral("ReplAdrTel"),    QStringLiteral("SmsToCmdTelNo"),
                                QStringLiteral("SmsToCmdSubst"), QStringLiteral("AutoPop3Routing")};

// Calls f with the key's member pointer, of whatever type the key is.
template <typename F>
void withMember(const SettingKey& k, F f) {
  switch (k.type) {
    case SettingType::Bool:
      return f(k.boolMember);
    case SettingType::Int:
      return f(k.intMember);
    case SettingType::Int16:
      return f(k.int16Member);
    case SettingType::Int8:
      return f(k.int8Member);
    case SettingType::Real:
    case SettingType::DateTime:
      return f(k.realMember);
    case SettingType::Str:
      return f(k.strMember);
    case SettingType::Str8:
      return f(k.str8Member);
  }
}

bool sameValue(const SettingKey& k, const Settings& a, const Settings& b) {
  bool same = true;
  withMember(k, [&](auto member) { same = a.*member == b.*member; });
  return same;
}

void copyValue(const SettingKey& k, const Settings& from, Settings& to) {
  withMember(k, [&](auto member) { to.*member = from.*member; });
}

// The lists of the sections the file changed.
void takeLists(GatewayState& gs, const GatewayState& fresh,
               const SettingsBaseline::FileChanges& changes) {
  if (changes.hasSection(QStringLiteral("AliasComp")) ||
      changes.hasSection(QStringLiteral("AliasName")))
    gs.Aliases = fresh.Aliases;
  if (changes.hasSection(QStringLiteral("ReplAdrTel"))) gs.Replacements = fresh.Replacements;
  if (changes.hasSection(QStringLiteral("SmsToCmdTelNo"))) gs.SmsToCmdTelNo = fresh.SmsToCmdTelNo;
  if (changes.hasSection(QStringLiteral("SmsToCmdSubst"))) gs.SmsToCmdSubst = fresh.SmsToCmdSubst;
  if (changes.hasSection(QStringLiteral("AutoPop3Routing")) && gs.cfg.AutoPop3Routing)
    gs.AutoPop3RoutArr = fresh.AutoPop3RoutArr;
}

bool sameAccounts(const std::vector<MailUser>& a, const std::vector<MailUser>& b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const MailUser& x, const MailUser& y) { return x.name == y.name && x.hash == y.hash; });
}

// What the settings in force derive, after some of them changed.
void applyDerived(Gateway& g, const GatewayState& fresh, const QStringList& applied) {
  GatewayState& gs = g.state();
  const auto changed = [&applied](const char* key) {
    return applied.contains(QLatin1String(key), Qt::CaseInsensitive);
  };
  applyIntervals(gs);
  gs.InMailAdrPlusPos = fresh.InMailAdrPlusPos;
  if (changed("MailSmsInCh") || changed("MailSmsOutCh")) gs.charRepl = fresh.charRepl;
  // The speech mark follows the command mark unless the file names one.
  if (changed("CommandMark") && !changed("TtsMark")) gs.cfg.TtsMark = fresh.cfg.TtsMark;
  gs.WaitLamp = static_cast<std::uint8_t>((gs.WaitLamp & ~1) | (gs.cfg.PreSetTimeSw ? 1 : 0));
  g.applyLogOptions();
  if (changed("Language")) {
    g.language().setLanguage(gs.cfg.Language);
    if (g.hooks().applyLanguageToWindows) g.hooks().applyLanguageToWindows();
  }
}

}  // namespace

bool needsRestart(const QString& key) {
  static const QStringList kAtStart{
      // The device and its link: a relation opens them as they were at the start.
      QStringLiteral("GsmDevice"), QStringLiteral("ComTcp"), QStringLiteral("ComNo"),
      QStringLiteral("ComNdx"), QStringLiteral("ComName"), QStringLiteral("ComParamOn"),
      QStringLiteral("BaudRate"), QStringLiteral("DTROn"), QStringLiteral("RTSOn"),
      QStringLiteral("PDUText"), QStringLiteral("GtIPAdress"), QStringLiteral("GtTCPPort"),
      QStringLiteral("AtSend"), QStringLiteral("EchoSkip"), QStringLiteral("MemCheOn"),
      QStringLiteral("SMSDeleteOff"), QStringLiteral("LiptelUCS2"), QStringLiteral("SmsIndication"),
      // The ports listen from the start; the log files begin their generation there.
      QStringLiteral("SmtpPort"), QStringLiteral("Pop3Port"), QStringLiteral("MultiRun"),
      QStringLiteral("LogFiOn"), QStringLiteral("LogFiNumMask"), QStringLiteral("LogFiDateMask"),
      QStringLiteral("SendUpTxtName"), QStringLiteral("SendUpTmpName"),
      // What the program itself keeps.
      QStringLiteral("SmtpRunPos"), QStringLiteral("SmsInCnt"), QStringLiteral("SmsOutCnt"),
      QStringLiteral("EmlInCnt"), QStringLiteral("EmlOutCnt"), QStringLiteral("DTSaveToIni"),
      QStringLiteral("PrioritySw")};
  return kAtStart.contains(key, Qt::CaseInsensitive);
}

void reloadSettings(Gateway& g) {
  GatewayState& gs = g.state();
  const IniFile file(gs.file(files::kSettings));
  if (file.unreadable()) {
    g.Log(true, QStringLiteral("!!! Settings file %1 cannot be read: nothing reloaded !!!")
                    .arg(QDir::toNativeSeparators(file.path())));
    return;
  }
  const DateTime now = g.clock().now();
  const IniText fileNow = file.read();
  GatewayState fresh;
  loadSettings(fresh, g.layeredSettings(fileNow), now,
               [&g](const QString& line) { g.Log(true, line); });

  SettingsBaseline& baseline = g.settingsBaseline();
  const SettingsBaseline::FileChanges changes = baseline.changesIn(fileNow, kListSections);
  const SavedItems before = savedItems(gs, now);
  QStringList applied, atStart;
  for (const QString& key : changes.cfgKeys) {
    const SettingKey* k = findSettingKey(key);
    // A key the program does not know, or one that holds what runs already.
    if (!k || sameValue(*k, fresh.cfg, gs.cfg)) continue;
    if (needsRestart(key)) {
      atStart << QLatin1String(k->name);
      continue;
    }
    copyValue(*k, fresh.cfg, gs.cfg);
    applied << QLatin1String(k->name);
  }
  takeLists(gs, fresh, changes);
  // The accounts follow the file: only the password tools and the dialog write them.
  const bool accountsChanged = !sameAccounts(gs.cfg.MailUsers, fresh.cfg.MailUsers);
  if (accountsChanged) gs.cfg.MailUsers = fresh.cfg.MailUsers;
  applyDerived(g, fresh, applied);
  baseline.reloaded(fileNow, before, savedItems(gs, now),
                    [&g](const QString& name) { g.logSettingsConflict(name); });

  // A port that failed is tried at once: the administrator may have freed it.
  if (gs.ListenRetryAt != 0) openMailPorts(g);
  if (g.hooks().settingsReloaded) g.hooks().settingsReloaded();
  g.Log(true, g.Text(410));
  if (accountsChanged) {
    QStringList names;
    for (const MailUser& u : gs.cfg.MailUsers) names << u.name;
    g.Log(true, fillPlaceholders(
                    g.Text(570),
                    {names.isEmpty() ? QStringLiteral("0") : names.join(QStringLiteral(", "))}));
  }
  if (!atStart.isEmpty()) {
    g.Log(true, fillPlaceholders(g.Text(412), {atStart.join(QStringLiteral(", "))}));
  }
}

}  // namespace kolvane
