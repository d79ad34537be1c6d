#include <QCheckBox>
#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "context/settings_loader.h"
#include "core/gateway.h"
#include "core/host_actions.h"
#include "platform/regional.h"
#include "settings/language_refresh.h"
#include "ui/mail_accounts_box.h"
#include "ui/serial_port_picker.h"
#include "ui/settings_dialog.h"
#include "ui/string_grid.h"

namespace kolvane::ui {

namespace {

// A number field; none when it does not read as a whole number.
std::optional<int> number(const QLineEdit* edit) {
  bool ok = false;
  const int v = edit->text().trimmed().toInt(&ok);
  return ok ? std::optional<int>(v) : std::nullopt;
}

// Every row whose cells up to `needed` are filled, in row order.
QList<QStringList> filledRows(const StringGrid* grid, int needed) {
  QList<QStringList> out;
  for (const QStringList& row : grid->rows()) {
    if (std::all_of(row.begin(), row.begin() + needed,
                    [](const QString& c) { return !c.isEmpty(); }))
      out << row;
  }
  return out;
}

// The check boxes and radio buttons bound one to one to a switch of the settings.
struct SwitchBinding {
  const char* control;
  bool Settings::*member;
};
constexpr SwitchBinding kSwitches[] = {
    {"CbStartGo", &Settings::StartGo},
    {"CbMaxSmsSendOn", &Settings::MaxSmsSendOn},
    {"RbOnLine", &Settings::OnLine},
    {"CbSmtpCliLimOn", &Settings::SmtpCliLimOn},
    {"CbPop3CliLimOn", &Settings::Pop3CliLimOn},
    {"CbCutEMail", &Settings::CutEMail},
    {"RbSendPart", &Settings::CutELong},
    {"CbConcatenateSMS", &Settings::ConcatenateSMS},
    {"CbEmlSmsAuto", &Settings::EmlSmsAuto},
    {"CbMailCutQuotes", &Settings::MailCutQuotes},
    {"CbSendUCS2SmsPermit", &Settings::SendUCS2SmsPermit},
    {"CbPreSetTimeSw", &Settings::PreSetTimeSw},
    {"RbReturned", &Settings::PreSetErr},
    {"CbReportSw", &Settings::ReportSw},
    {"CbReportAll", &Settings::ReportAll},
    {"CbPrioritySw", &Settings::PrioritySw},
    {"CbPriorityEmail", &Settings::PriorityEmail},
    {"CbAutoPop3Routing", &Settings::AutoPop3Routing},
    {"RbBasketOn", &Settings::BasketOn},
    {"CbBasketToo", &Settings::BasketToo},
    {"CbAliasOn", &Settings::AliasOn},
    {"CbReplAddrOn", &Settings::ReplAddrOn},
    {"CbReplTelNoOn", &Settings::ReplTelNoOn},
    {"CbSmsToCmdSw", &Settings::SmsToCmdSw},
    {"CbSmsToCmdEml", &Settings::SmsToCmdEml},
    {"CbSmsToCmdStat", &Settings::SmsToCmdStat},
    {"CbSmsToTtsSw", &Settings::SmsToTtsSw},
    {"CbSmsToTtsEml", &Settings::SmsToTtsEml},
};
// The radio button that stands for "off" of each radio switch above.
constexpr std::pair<const char*, const char*> kRadioPairs[] = {
    {"RbOnLine", "RbPeriodically"},
    {"RbSendPart", "RbReturnLong"},
    {"RbReturned", "RbSentNoDelay"},
    {"RbBasketOn", "RbEveryone"},
};

// Text fields bound to a text setting.
struct TextBinding {
  const char* control;
  QString Settings::*member;
};
constexpr TextBinding kTexts[] = {
    {"UserName", &Settings::UserName},
    {"BasketName", &Settings::BasketName},
    {"PreSetPrefix", &Settings::PreSetPrefix},
    {"PreSetMaskDT", &Settings::PreSetMaskDT},
    {"PreSetMaskTi", &Settings::PreSetMaskTi},
    {"ReportPrefix", &Settings::ReportPrefix},
    {"SmsToCmdPC", &Settings::SmsToCmdPC},
    {"SmsToTtsPC", &Settings::SmsToTtsPC},
    {"SimPin", &Settings::SimPin},
};

// Number fields; a field that does not read as a number keeps the setting, or takes the
// fallback when there is one.
struct NumberBinding {
  const char* control;
  int Settings::*member;
  std::optional<int> fallback;
};
const NumberBinding kNumbers[] = {
    {"GtTCPPort", &Settings::GtTCPPort, std::nullopt},
    {"SendRetryHours", &Settings::SendRetryHours, 24},
    {"AutoPop3RouteTout", &Settings::AutoPop3RouteTout, std::nullopt},
    {"MaxSmsSendNo", &Settings::MaxSmsSendNo, std::nullopt},
    {"SmtpPort", &Settings::SmtpPort, 25},
    {"Pop3Port", &Settings::Pop3Port, 110},
    {"CutEMax", &Settings::CutEMax, 5},
    {"SmtpCliMax", &Settings::SmtpCliMax, std::nullopt},
    {"Pop3CliMax", &Settings::Pop3CliMax, std::nullopt},
    {"CmdTimeout", &Settings::CmdTimeout, 60},
    {"MailCliPerHostMax", &Settings::MailCliPerHostMax, std::nullopt},
    {"MailCliTotalMax", &Settings::MailCliTotalMax, std::nullopt},
    {"SendResultTimeout", &Settings::SendResultTimeout, 120},
};

// What the program can use of each number field; anything else would be refused later (a port
// that cannot be opened, a COM number that is ignored at the next start).
struct NumberRange {
  const char* control;
  int node;  // the tree node showing the field
  int min;
  int max;
};
constexpr NumberRange kRanges[] = {
    {"ComNo", 0, 1, 99},
    {"GtTCPPort", 0, 1, 65535},
    {"SendResultTimeout", 0, 1, 3600},
    {"SmtpPort", 1, 1, 65535},
    {"Pop3Port", 1, 1, 65535},
    {"SmtpCliMax", 1, 0, 99999},
    {"Pop3CliMax", 1, 0, 99999},
    {"MaxSmsSendNo", 2, 1, 99999},
    {"CutEMax", 4, 1, 255},
    {"AutoPop3RouteTout", 10, 1, 99999},
    {"SendRetryHours", 0, 0, 720},
    {"CmdTimeout", 14, 0, 86400},
    {"MailCliPerHostMax", 1, 1, 99999},
    {"MailCliTotalMax", 1, 1, 99999},
};

QString rangeText(int min, int max) {
  return QStringLiteral("%1 - %2").arg(min).arg(max);
}

}  // namespace

void FCfg::limitNumberFields() {
  for (const NumberRange& r : kRanges) {
    auto* edit = control<QLineEdit>(r.control);
    edit->setValidator(new QIntValidator(r.min, r.max, edit));
    edit->setMaxLength(static_cast<int>(QString::number(r.max).size()));
    edit->setToolTip(rangeText(r.min, r.max));
  }
}

bool FCfg::numbersInRange() {
  for (const NumberRange& r : kRanges) {
    auto* edit = control<QLineEdit>(r.control);
    // An empty field keeps the setting (or takes its fallback); a field that cannot be edited
    // now (the other link's) cannot be corrected either.
    if (edit->text().trimmed().isEmpty() || edit->hasAcceptableInput() || !edit->isEnabled()) {
      continue;
    }
    selectNode(r.node);
    edit->setFocus();
    edit->selectAll();
    if (outOfRange) outOfRange(rangeText(r.min, r.max));
    return false;
  }
  return true;
}

void FCfg::loadControls() {
  loading_ = true;
  GatewayState& gs = g_.state();
  const Settings& s = gs.cfg;
  control<MailAccountsBox>("GbMailUsers")->load(s.MailUsers);
  auto* gsmDevice = control<QComboBox>("GsmDevice");
  gsmDevice->setCurrentIndex(std::max(
      0, gsmDevice->findText(
             QLatin1String(gsmDevices()[static_cast<std::size_t>(gs.GsmDeviceIdx)].displayName))));
  if (s.ComParamOn) {
    auto* baud = control<QComboBox>("BaudRate");
    baud->setCurrentIndex(baud->findText(QString::number(s.BaudRate)));
    control<QCheckBox>("CbDTROn")->setChecked(s.DTROn);
    control<QCheckBox>("CbRTSOn")->setChecked(s.RTSOn);
    control<QRadioButton>(s.PDUText ? "RbText" : "RbPdu")->setChecked(true);
  }
  control<QLineEdit>("ComNo")->setText(gs.ComNoText);
  auto* device = control<SerialPortPicker>("ComName");
  device->refreshPorts();
  device->setPath(s.ComName);
  auto* link = control<QComboBox>("ComTcp");
  link->setCurrentIndex(gs.ComTcpIdx >= 0 && gs.ComTcpIdx < link->count() ? gs.ComTcpIdx : -1);
  control<QLineEdit>("GtIPAdress")->setText(QString::fromUtf8(s.GtIPAdress));
  control<QLineEdit>("Interval")->setText(regional::formatReal(gs.PeriodicIntervalMs / 60000.0));

  for (const SwitchBinding& b : kSwitches) {
    // A radio button is switched off by checking its partner.
    const auto pair = std::find_if(std::begin(kRadioPairs), std::end(kRadioPairs),
                                   [&](const auto& p) { return qstrcmp(p.first, b.control) == 0; });
    const char* name = (pair != std::end(kRadioPairs) && !(s.*b.member)) ? pair->second : b.control;
    control<QAbstractButton>(name)->setChecked(pair != std::end(kRadioPairs) || s.*b.member);
  }
  control<QAbstractButton>(s.EmlSmsNoOk == 1 ? "RbReplaceDash" : "RbUndispatched")
      ->setChecked(true);
  for (const TextBinding& b : kTexts) control<QLineEdit>(b.control)->setText(s.*b.member);
  for (const NumberBinding& b : kNumbers) {
    control<QLineEdit>(b.control)->setText(QString::number(s.*b.member));
  }

  auto* charset = control<QComboBox>("EmlSmsChConv");
  charset->setCurrentIndex(selectedCharsetItem(charsetItems(g_.language()), s.EmlSmsChConv));

  QList<QStringList> rows;
  for (const AliasType& a : gs.Aliases) rows << QStringList{a.NamePC, a.AliasName};
  control<StringGrid>("SgAs1")->setRows(rows);
  rows.clear();
  for (const ReplaceType& r : gs.Replacements) {
    rows << QStringList{QString::fromUtf8(r.TelNo), QString::fromUtf8(r.EmlAddr)};
  }
  control<StringGrid>("SgRp1")->setRows(rows);
  rows.clear();
  for (const QString& n : gs.SmsToCmdTelNo) rows << QStringList{n};
  control<StringGrid>("SgTn1")->setRows(rows);
  rows.clear();
  for (const SmsToCmdSubstType& c : gs.SmsToCmdSubst) rows << QStringList{c.Subst, c.CmdStr};
  control<StringGrid>("SgSc1")->setRows(rows);

  auto* voices = control<QListWidget>("TtsVoice");
  voices->clear();
  voices->addItems(g_.hostActions().speech().voiceList());
  const auto found = voices->findItems(s.TtsVoice, Qt::MatchExactly);
  voices->setCurrentRow(found.isEmpty() ? -1 : voices->row(found.first()));

  control<QPushButton>("BtTest")->setVisible(s.Debug);
  loading_ = false;
  intervalEnabling();
  intervalStatus();
  basketEnabling();
  longSmsCaption();
  concatenationHint();
  charsetDescription();
  deviceRules(false);
}

void FCfg::saveControls() {
  GatewayState& gs = g_.state();
  Settings& s = gs.cfg;
  // 1. The device in force.
  const QString display = control<QComboBox>("GsmDevice")->currentText();
  gs.GsmDeviceIdx = 0;
  const auto& devices = gsmDevices();
  for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
    if (display == QLatin1String(devices[static_cast<std::size_t>(i)].displayName))
      gs.GsmDeviceIdx = i;
  }
  s.GsmDevice = QLatin1String(devices[static_cast<std::size_t>(gs.GsmDeviceIdx)].id);
  // 2. Serial parameters; a baud rate left unselected keeps the one in force.
  if (s.ComParamOn) {
    bool ok = false;
    const int baud = control<QComboBox>("BaudRate")->currentText().toInt(&ok);
    if (ok) s.BaudRate = baud;
    s.DTROn = control<QCheckBox>("CbDTROn")->isChecked();
    s.RTSOn = control<QCheckBox>("CbRTSOn")->isChecked();
    s.PDUText = control<QRadioButton>("RbText")->isChecked();
  }
  // 3. The main window's port fields.
  gs.ComNoText = control<QLineEdit>("ComNo")->text();
  const QString comName = control<SerialPortPicker>("ComName")->path();
  gs.ComTcpIdx = control<QComboBox>("ComTcp")->currentIndex();
  s.ComTcp = gs.ComTcpIdx;
  // 4. The network gateway.
  s.GtIPAdress = control<QLineEdit>("GtIPAdress")->text().toUtf8();
  // 5. The interval; below 0.2 minutes the exchange does not repeat, above 1000 it is held at
  // 1000 rather than stopped.
  const double minutes = regional::parseReal(control<QLineEdit>("Interval")->text())
                             .value_or(gs.PeriodicIntervalMs / 60000.0);
  s.Interval = minutes > 1000 ? 1000 : minutes >= 0.2 ? minutes : 0;
  // 7. The charset name follows the first "=" of the item.
  const QString item = control<QComboBox>("EmlSmsChConv")->currentText();
  s.EmlSmsChConv = item.mid(item.indexOf(QLatin1Char('=')) + 1);
  s.EmlSmsNoOk = control<QAbstractButton>("RbReplaceDash")->isChecked() ? 1 : 0;
  for (const SwitchBinding& b : kSwitches) {
    s.*b.member = control<QAbstractButton>(b.control)->isChecked();
  }
  for (const TextBinding& b : kTexts) s.*b.member = control<QLineEdit>(b.control)->text();
  for (const NumberBinding& b : kNumbers) {
    s.*b.member = number(control<QLineEdit>(b.control)).value_or(b.fallback.value_or(s.*b.member));
  }
  applyIntervals(gs);

  // 11. The lists keep only rows that are filled in.
  gs.Aliases.clear();
  for (const QStringList& r : filledRows(control<StringGrid>("SgAs1"), 2)) {
    gs.Aliases.append({r[0], r[1]});
  }
  gs.Replacements.clear();
  for (const QStringList& r : filledRows(control<StringGrid>("SgRp1"), 2)) {
    gs.Replacements.append({r[0].toUtf8(), r[1].toUtf8()});
  }
  gs.SmsToCmdTelNo.clear();
  for (const QStringList& r : filledRows(control<StringGrid>("SgTn1"), 1)) gs.SmsToCmdTelNo << r[0];
  gs.SmsToCmdSubst.clear();
  for (const QStringList& r : filledRows(control<StringGrid>("SgSc1"), 1)) {
    gs.SmsToCmdSubst.append({r[0], r[1]});
  }
  // 12. The voice; none selected keeps the one in force.
  if (const QListWidgetItem* voice = control<QListWidget>("TtsVoice")->currentItem()) {
    s.TtsVoice = voice->text();
  }

  // 16. The pre-set time switch shows on the waiting lamp; the status panels follow.
  gs.WaitLamp = static_cast<std::uint8_t>((gs.WaitLamp & ~1) | (s.PreSetTimeSw ? 1 : 0));
  gs.PgNdx = currentNode();
  // Settings reach the file now, so that a power cut does not lose them.
  g_.writeBackSettings();
  storeMailAccounts(g_, control<MailAccountsBox>("GbMailUsers")->changes());
  storeComName(g_, comName);
  if (g_.hooks().cycle.refreshStatusDisplay) g_.hooks().cycle.refreshStatusDisplay();
}

void FCfg::accept() {
  if (!numbersInRange()) return;
  saveControls();
  QDialog::accept();
}

}  // namespace kolvane::ui
