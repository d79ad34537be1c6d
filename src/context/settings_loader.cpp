#include "context/settings_loader.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/regional.h"
#include "settings/mail_users.h"
#include "settings/value_codec.h"

namespace kolvane {

namespace {

const QString kCfg = QStringLiteral("CFG");

QString keyText(const SettingKey& k, const Settings& s) {
  switch (k.type) {
    case SettingType::Bool:
      return formatIniBool(s.*k.boolMember);
    case SettingType::Int:
      return QString::number(s.*k.intMember);
    case SettingType::Int16:
      return QString::number(s.*k.int16Member);
    case SettingType::Int8:
      return QString::number(s.*k.int8Member);
    case SettingType::Real:
      return regional::formatReal(s.*k.realMember);
    case SettingType::DateTime:
      return regional::formatDateTime(s.*k.realMember);
    case SettingType::Str:
      return s.*k.strMember;
    case SettingType::Str8:
      return QString::fromUtf8(s.*k.str8Member);
  }
  return {};
}

// Ranges of the integer keys whose careless values would harm the run: an interval that starts
// a relation on every tick, a limit of no SMS. Ports are kept as they come: one outside
// 1-65535 fails to listen or connect.
struct KeyRange {
  const char* name;
  long long min;
  long long max;
  bool heldAtMax = false;  // a larger value is held at max instead of giving the default
};
// Minutes whose milliseconds still fit the 32-bit tick.
constexpr long long kMaxTickMinutes = 0xFFFFFFFFLL / 60000;
constexpr double kMaxIntervalMinutes = 1000;
constexpr KeyRange kKeyRanges[] = {
    {"IntervalOnLine", 1000, 86400000},
    {"SendSMSDelay", 0, 3600000},
    {"SendResultTimeout", 1, 3600},
    {"RefrOn", 0, kMaxTickMinutes, true},
    {"RefrPer", 1, kMaxTickMinutes, true},
    {"RecoveryStartIncMin", 0, 1000000},
    {"MaxSmsSendNo", 1, 1000000},
    {"CutEMax", 1, 255},
    {"SmtpCliMax", 0, 1000000},
    {"Pop3CliMax", 0, 1000000},
    {"MailCliPerHostMax", 1, 100000},
    {"MailCliTotalMax", 1, 100000},
    {"SmtpRunPos", 0, std::numeric_limits<int>::max()},
    {"MeMaxLi", 0, 1000000},
    {"LogSeekMax", 0, std::numeric_limits<int>::max()},
    {"BaudRate", 1, 4000000},
    {"AutoPop3RouteTout", 0, 52560000},
    {"ComTcp", 0, 1},
    {"EmlSmsNoOk", 0, 1},
    {"CmdTimeout", 0, 86400},
    {"SmtpsPort", 0, 65535},
    {"Pop3sPort", 0, 65535},
};

KeyRange keyRange(const char* name) {
  for (const KeyRange& r : kKeyRanges) {
    if (qstrcmp(r.name, name) == 0) return r;
  }
  return {name, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
}

// A narrow unsigned key takes the nearest value it can hold: a wrapped one would turn a long
// delay into none without a word.
template <typename T, typename Refuse, typename NotNumber>
void readClamped(const QString& text, T& member, const Refuse& refuse, const NotNumber& notNumber) {
  const auto v = parseIniInt(text);
  if (!v) {
    notNumber();
    return;
  }
  constexpr long long kMax = std::numeric_limits<T>::max();
  member = static_cast<T>(std::clamp<long long>(*v, 0, kMax));
  if (*v < 0 || *v > kMax) refuse(QStringLiteral("is outside 0..%1").arg(kMax));
}

// Reads one CFG key into its member; a missing value leaves the default, and an unreadable or
// out-of-range one leaves it with a log line naming the key, the value and the value used.
void readKey(const SettingKey& k, const IniText& ini, Settings& s, const LogFn& log) {
  const auto text = ini.value(kCfg, QLatin1String(k.name));
  if (!text) return;
  const auto refuse = [&](const QString& why) {
    log(QStringLiteral("Settings: %1=%2 %3, %4 used")
            .arg(QLatin1String(k.name), *text, why, keyText(k, s)));
  };
  const auto notNumber = [&] { refuse(QStringLiteral("is not a number")); };
  switch (k.type) {
    case SettingType::Bool:
      if (const auto v = parseIniBool(*text)) {
        s.*k.boolMember = *v;
      } else {
        notNumber();
      }
      break;
    case SettingType::Int: {
      const auto v = parseIniInt(*text);
      const KeyRange range = keyRange(k.name);
      if (!v) {
        notNumber();
      } else if (*v > range.max && range.heldAtMax) {
        s.*k.intMember = static_cast<int>(range.max);
        refuse(QStringLiteral("is above %1").arg(range.max));
      } else if (*v < range.min || *v > range.max) {
        refuse(QStringLiteral("is outside %1..%2").arg(range.min).arg(range.max));
      } else {
        s.*k.intMember = static_cast<int>(*v);
      }
      break;
    }
    case SettingType::Int16:
      readClamped(*text, s.*k.int16Member, refuse, notNumber);
      break;
    case SettingType::Int8:
      readClamped(*text, s.*k.int8Member, refuse, notNumber);
      break;
    case SettingType::Real:
      if (const auto v = regional::parseReal(*text)) {
        s.*k.realMember = *v;
      } else {
        notNumber();
      }
      break;
    case SettingType::DateTime:
      if (const auto v = regional::parseDateTime(*text)) {
        s.*k.realMember = *v;
      } else {
        refuse(QStringLiteral("is no date and time"));
      }
      break;
    case SettingType::Str:
      s.*k.strMember = *text;
      break;
    case SettingType::Str8:
      s.*k.str8Member = text->toUtf8();
      break;
  }
}

bool isCounter(const char* name) {
  const QLatin1String n(name);
  return n == QLatin1String("SmsInCnt") || n == QLatin1String("SmsOutCnt") ||
         n == QLatin1String("EmlInCnt") || n == QLatin1String("EmlOutCnt");
}

QString normalisedLanguage(const QString& value) {
  const QString upper = value.toUpper();
  if (upper == QLatin1String("INI") || upper == QLatin1String("CZ")) return upper;
  return QStringLiteral("EN");
}

void loadLists(GatewayState& gs, const IniText& ini, DateTime startTime) {
  gs.Aliases.clear();
  for (const auto& e : ini.entries(QStringLiteral("AliasComp"))) {
    gs.Aliases.append({e.second, ini.value(QStringLiteral("AliasName"), e.first, QString())});
  }
  gs.Replacements.clear();
  for (const auto& e : ini.entries(QStringLiteral("ReplAdrTel"))) {
    gs.Replacements.append({e.first.toUtf8(), e.second.toUtf8()});
  }
  gs.SmsToCmdTelNo.clear();
  for (const auto& e : ini.entries(QStringLiteral("SmsToCmdTelNo"))) gs.SmsToCmdTelNo << e.second;
  gs.SmsToCmdSubst.clear();
  for (const auto& e : ini.entries(QStringLiteral("SmsToCmdSubst"))) {
    gs.SmsToCmdSubst.append({e.first, e.second});
  }
  gs.AutoPop3RoutArr.clear();
  if (!gs.cfg.AutoPop3Routing) return;
  for (const auto& e : ini.entries(QStringLiteral("AutoPop3Routing"))) {
    const qsizetype bar = e.second.indexOf(QLatin1Char('|'));
    if (bar < 0) continue;
    const DateTime end = regional::parseReal(e.second.left(bar)).value_or(0);
    if (end <= startTime) continue;
    gs.AutoPop3RoutArr.append({e.first.toUtf8(), end, e.second.mid(bar + 1).toUtf8()});
  }
}

void loadPlacements(GatewayState& gs, const IniText& ini) {
  for (const char* form : kPlacementForms) {
    const QString section = QLatin1String(form);
    if (!ini.hasSection(section)) continue;
    WindowPlacement p;
    const auto readInt = [&](const char* key) -> std::optional<int> {
      const auto v = parseIniInt(ini.value(section, QLatin1String(key), QString()));
      if (!v) return std::nullopt;
      return static_cast<int>(*v);
    };
    const auto top = readInt("Top");
    const auto left = readInt("Left");
    const auto height = readInt("Height");
    const auto width = readInt("Width");
    p.Top = top.value_or(0);
    p.Left = left.value_or(0);
    p.Height = height.value_or(0);
    p.Width = width.value_or(0);
    p.valid = top && left && height && width;
    gs.Placements[section] = p;
  }
  const auto pg = parseIniInt(ini.value(QStringLiteral("FCfg"), QStringLiteral("PgNdx"), {}));
  gs.PgNdx = (pg && *pg >= 0 && *pg < kCfgTreePages) ? static_cast<int>(*pg) : 0;
}

}  // namespace

const std::array<GsmDeviceEntry, 11>& gsmDevices() {
  static const std::array<GsmDeviceEntry, 11> devices{{
      {"Unknown", "GSM modem"},  // a plain AT modem
      {"BlueGateISDN", "Blue Gate ISDN"},
      {"MiniGateA", "Mini Gate A"},
      {"BlueGateSIP", "Blue Gate SIP"},
      {"PRImaGate", "PRIma Gate"},
      {"BlueGateA", "Blue Gate A"},
      {"GSMmodemTC35", "GSM modem TC35"},
      {"GPRSmodemMC35", "GPRS modem MC35"},
      {"SiemensC35i", "Siemens C35i"},
      {"BlueGateISDNBrave", "Blue Gate ISDN Brave"},
      {"SBlueGateABrave", "Blue Gate A Brave"},
  }};
  return devices;
}

int gsmDeviceIndex(const QString& id) {
  int found = 0;
  const auto& devices = gsmDevices();
  for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
    if (id.compare(QLatin1String(devices[i].id), Qt::CaseInsensitive) == 0) found = i;
  }
  return found;
}

void applyIntervals(GatewayState& gs) {
  const double minutes = gs.cfg.Interval;
  gs.PeriodicIntervalMs = (minutes >= 0.2 && minutes <= 1000)
                              ? static_cast<std::uint32_t>(std::llround(minutes * 60000.0))
                              : 0;
  gs.IntervalMs =
      gs.cfg.OnLine ? static_cast<std::uint32_t>(gs.cfg.IntervalOnLine) : gs.PeriodicIntervalMs;
  gs.RefrOn = static_cast<std::uint32_t>(gs.cfg.RefrOn) * 60000u;
  gs.RefrPer = static_cast<std::uint32_t>(gs.cfg.RefrPer) * 60000u;
}

void loadSettings(GatewayState& gs, const IniText& layered, DateTime startTime, const LogFn& log) {
  Settings& s = gs.cfg;
  s = Settings{};
  for (const SettingKey& k : settingKeys()) {
    // PrioritySw is saved but every run starts with it off; TtsMark follows CommandMark.
    if (QLatin1String(k.name) == QLatin1String("PrioritySw")) continue;
    if (isCounter(k.name)) continue;
    readKey(k, layered, s, log);
  }
  if (!layered.hasKey(kCfg, QStringLiteral("TtsMark"))) s.TtsMark = s.CommandMark;
  // A period longer than the exchange can hold is held at the longest, never dropped to none.
  if (s.Interval > kMaxIntervalMinutes) {
    log(QStringLiteral("Settings: Interval=%1 is above %2, %2 used")
            .arg(regional::formatReal(s.Interval), regional::formatReal(kMaxIntervalMinutes)));
    s.Interval = kMaxIntervalMinutes;
  }

  // The day's counters only when they were saved today.
  if (dayOf(s.DTSaveToIni) == dayOf(startTime)) {
    for (const SettingKey& k : settingKeys()) {
      if (isCounter(k.name)) readKey(k, layered, s, log);
    }
  }

  gs.InMailAdrPlusPos = static_cast<int>(s.InMailAdr.indexOf(QLatin1String("<+>")));
  applyIntervals(gs);

  gs.ComNoText = QString::number(s.ComNdx + 1);
  if (s.ComNo > 0 && s.ComNo < 100) gs.ComNoText = QString::number(s.ComNo);
  gs.ComTcpIdx = s.ComTcp;

  gs.charRepl = CharReplacement{};
  if (!s.MailSmsInCh.isEmpty() && !s.MailSmsOutCh.isEmpty()) {
    if (!gs.charRepl.setFromLists(s.MailSmsInCh, s.MailSmsOutCh)) {
      log(QStringLiteral("Error - different length of MailSmsInCh and MailSmsOutCh"));
    }
  }

  s.Language = normalisedLanguage(s.Language);
  gs.GsmDeviceIdx = gsmDeviceIndex(s.GsmDevice);
  s.GsmDevice = QLatin1String(gsmDevices()[gs.GsmDeviceIdx].id);

  loadLists(gs, layered, startTime);
  loadPlacements(gs, layered);
  s.MailUsers = ReadMailUsers(layered, log);
}

QString paramAsSmsValue(const QString& text) {
  static const QString kMark = QStringLiteral("%%");
  const bool plain = !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
                     text == text.trimmed() && !text.startsWith(kMark) &&
                     !(text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')));
  return plain ? text : kMark + QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

QString paramAsSmsText(const QString& value) {
  if (!value.startsWith(QLatin1String("%%"))) return value;
  return QString::fromUtf8(QByteArray::fromPercentEncoding(value.mid(2).toLatin1()));
}

bool storeParamAsSms(IniFile& ini, const QString& text) {
  return ini.update([&](IniText& t) {
    long long largest = -1;
    for (const QString& key : t.keys(QStringLiteral("ParamAsSMS"))) {
      bool ok = false;
      const long long v = key.trimmed().toLongLong(&ok);
      largest = std::max(largest, ok ? v : -1);
    }
    t.setValue(QStringLiteral("ParamAsSMS"), QString::number(std::max(1LL, largest + 1)),
               paramAsSmsValue(text));
  });
}

SavedItems savedItems(const GatewayState& gs, DateTime now) {
  const Settings& s = gs.cfg;
  SavedItems out;
  const auto add = [&out](const QString& section, const QString& key, const QString& value) {
    out.append({section, key, value, {}});
  };
  const auto addList = [&out](const QString& section, QList<IniText::Entry> entries) {
    out.append({section, {}, {}, std::move(entries)});
  };
  const auto put = [&](const char* name) {
    const SettingKey* k = findSettingKey(QLatin1String(name));
    if (k) add(kCfg, QLatin1String(k->name), keyText(*k, s));
  };
  const auto putAll = [&](std::initializer_list<const char*> names) {
    for (const char* n : names) put(n);
  };
  const auto putPlacement = [&](const QString& form) {
    const auto it = gs.Placements.find(form);
    if (it == gs.Placements.end() || !it->second.valid) return;
    const WindowPlacement& p = it->second;
    add(form, QStringLiteral("Top"), QString::number(p.Top));
    add(form, QStringLiteral("Left"), QString::number(p.Left));
    add(form, QStringLiteral("Height"), QString::number(p.Height));
    add(form, QStringLiteral("Width"), QString::number(p.Width));
  };

  // The device in force and the main window's port fields.
  put("GsmDevice");
  const auto comNo = parseIniInt(gs.ComNoText);
  add(kCfg, QStringLiteral("ComNo"),
      QString::number(comNo && *comNo >= std::numeric_limits<int>::min() &&
                              *comNo <= std::numeric_limits<int>::max()
                          ? *comNo
                          : 1));
  add(kCfg, QStringLiteral("ComTcp"), QString::number(gs.ComTcpIdx));
  put("OnLine");
  add(kCfg, QStringLiteral("Interval"), regional::formatReal(gs.PeriodicIntervalMs / 60000.0));
  putAll({"StartGo", "MaxSmsSendOn", "MaxSmsSendNo", "EndClose", "SmtpRunPos"});

  putPlacement(QStringLiteral("FMain"));
  putPlacement(QStringLiteral("FCfg"));
  add(QStringLiteral("FCfg"), QStringLiteral("PgNdx"), QString::number(gs.PgNdx));

  add(kCfg, QStringLiteral("Language"), normalisedLanguage(s.Language));
  putAll({"AliasOn", "ReplAddrOn", "ReplTelNoOn", "SmtpPort", "Pop3Port"});

  putAll({"AutoPop3Routing", "AutoPop3RouteTout"});
  if (s.AutoPop3Routing) {
    QList<IniText::Entry> routes;
    for (const tAutoPop3RoutRec& r : gs.AutoPop3RoutArr) {
      if (r.EndTime <= now) continue;
      routes.append(
          {QString::fromUtf8(r.TelNo),
           regional::formatReal(r.EndTime) + QLatin1Char('|') + QString::fromUtf8(r.NamePC)});
    }
    addList(QStringLiteral("AutoPop3Routing"), routes);
  }

  putAll({"BasketOn",     "BasketToo",    "BasketName", "EmlSmsChConv",     "EmlSmsAuto",
          "EmlSmsNoOk",   "CutEMail",     "CutEMax",    "CutELong",         "ConcatenateSMS",
          "PreSetTimeSw", "PreSetPrefix", "PreSetErr",  "PreSetMaskDT",     "PreSetMaskTi",
          "ReportSw",     "ReportPrefix", "ReportAll",  "SmtpCliLimOn",     "Pop3CliLimOn",
          "SmtpCliMax",   "Pop3CliMax",   "UserName",   "SendUCS2SmsPermit"});
  putAll({"MailCliPerHostMax", "MailCliTotalMax"});

  QList<IniText::Entry> comps, names, replacements;
  for (int i = 0; i < gs.Aliases.size(); ++i) {
    const QString key = QStringLiteral("A%1").arg(i);
    comps.append({key, gs.Aliases[i].NamePC});
    names.append({key, gs.Aliases[i].AliasName});
  }
  addList(QStringLiteral("AliasComp"), comps);
  addList(QStringLiteral("AliasName"), names);
  for (const ReplaceType& r : gs.Replacements) {
    if (r.TelNo.isEmpty() || r.EmlAddr.isEmpty()) continue;
    replacements.append({QString::fromUtf8(r.TelNo), QString::fromUtf8(r.EmlAddr)});
  }
  addList(QStringLiteral("ReplAdrTel"), replacements);

  putAll({"SmsToCmdSw", "SmsToCmdEml", "SmsToCmdStat", "SmsToCmdPC", "SmsToTtsSw", "SmsToTtsEml",
          "SmsToTtsPC", "TtsVoice", "PrioritySw", "PriorityEmail"});

  QList<IniText::Entry> telNos, substs;
  for (int i = 0; i < gs.SmsToCmdTelNo.size(); ++i) {
    telNos.append({QStringLiteral("A%1").arg(i), gs.SmsToCmdTelNo[i]});
  }
  addList(QStringLiteral("SmsToCmdTelNo"), telNos);
  for (const SmsToCmdSubstType& sub : gs.SmsToCmdSubst) substs.append({sub.Subst, sub.CmdStr});
  addList(QStringLiteral("SmsToCmdSubst"), substs);

  if (s.ComParamOn) putAll({"RTSOn", "DTROn", "BaudRate", "PDUText"});
  put("SimPin");
  putAll({"GtIPAdress", "GtTCPPort", "SmsInCnt", "SmsOutCnt", "EmlInCnt", "EmlOutCnt"});

  // Views and the send-SMS dialog that are open keep their placement.
  for (const char* form : {"fSiSend", "fSmtpTmpView", "fPop3TmpView", "fWaitTmpView",
                           "fSmtpCliView", "fPop3CliView"}) {
    putPlacement(QLatin1String(form));
  }
  return out;
}

SavedItems savedItemsAsRead(const GatewayState& gs, const IniText& read, DateTime now) {
  SavedItems items = savedItems(gs, now);
  for (SavedItem& item : items) {
    if (item.isList() && item.section == QLatin1String("AutoPop3Routing")) {
      item.entries = read.entries(item.section);
    }
  }
  return items;
}

}  // namespace kolvane
