#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include "context/settings_loader.h"
#include "core/gateway.h"
#include "core/host_actions.h"
#include "gsm/charset_test_page.h"
#include "gsm/charset_to_gsm.h"
#include "mail/pop3_server.h"
#include "mail/smtp_server.h"
#include "platform/regional.h"
#include "settings/language_refresh.h"
#include "ui/settings_dialog.h"
#include "ui/string_grid.h"

namespace kolvane::ui {

namespace {

bool among(const QString& id, std::initializer_list<const char*> ids) {
  return std::any_of(ids.begin(), ids.end(), [&](const char* i) { return id == QLatin1String(i); });
}

// The network address and port a gateway device answers on out of the box.
struct GatewayDefault {
  const char* device;
  const char* address;
  int port;
};
constexpr GatewayDefault kGatewayDefaults[] = {
    {"BlueGateSIP", "192.168.1.200", 11201},
    {"PRImaGate", "192.168.1.100", 1002},
    {"BlueGateISDNBrave", "192.168.1.100", 1002},
};

// Catalogue text describing each charset of the list.
constexpr std::pair<const char*, int> kCharsetDescriptions[] = {
    {"windows-1250", 134}, {"windows-1251", 160}, {"windows-1252", 135}, {"windows-1253", 136},
    {"windows-1254", 137}, {"windows-1257", 154}, {"iso-8859-1", 138},   {"iso-8859-2", 139},
    {"iso-8859-4", 156},   {"iso-8859-5", 162},   {"iso-8859-7", 140},   {"iso-8859-9", 141},
    {"iso-8859-13", 158},  {"iso-8859-16", 152},  {"utf-8", 142},
};

// Whole-word match of a charset name inside a list item.
bool itemNames(const QString& item, const QString& name) {
  return (item + QLatin1Char('|')).contains(name + QLatin1Char('|'));
}

}  // namespace

QString FCfg::selectedDeviceId() const {
  const QString display = control<QComboBox>("GsmDevice")->currentText();
  for (const GsmDeviceEntry& d : gsmDevices()) {
    if (display == QLatin1String(d.displayName)) return QLatin1String(d.id);
  }
  return QStringLiteral("Unknown");
}

void FCfg::wireRules() {
  connect(control<QComboBox>("GsmDevice"), &QComboBox::currentIndexChanged, this,
          [this] { deviceRules(!loading_); });
  connect(control<QComboBox>("ComTcp"), &QComboBox::currentIndexChanged, this,
          [this] { deviceRules(false); });
  connect(control<QPushButton>("BtDefault"), &QPushButton::clicked, this,
          &FCfg::fillGatewayDefaults);
  for (const char* field : {"Interval", "MaxSmsSendNo"}) {
    connect(control<QLineEdit>(field), &QLineEdit::textChanged, this, &FCfg::intervalStatus);
  }
  connect(control<QRadioButton>("RbPeriodically"), &QRadioButton::toggled, this,
          &FCfg::intervalEnabling);
  connect(control<QRadioButton>("RbBasketOn"), &QRadioButton::toggled, this, &FCfg::basketEnabling);
  connect(control<QCheckBox>("CbBasketToo"), &QCheckBox::toggled, this, &FCfg::basketEnabling);
  connect(control<QCheckBox>("CbReportAll"), &QCheckBox::toggled, this, [this](bool on) {
    if (on) control<QCheckBox>("CbReportSw")->setChecked(true);
  });
  connect(control<QLineEdit>("CutEMax"), &QLineEdit::textChanged, this, &FCfg::longSmsCaption);
  connect(control<QCheckBox>("CbConcatenateSMS"), &QCheckBox::toggled, this, [this] {
    longSmsCaption();
    concatenationHint();
  });
  connect(control<QComboBox>("EmlSmsChConv"), &QComboBox::currentIndexChanged, this,
          &FCfg::charsetDescription);
  connect(control<QPushButton>("BtAddKnown"), &QPushButton::clicked, this,
          &FCfg::addKnownComputerNames);
  connect(control<QPushButton>("BtTest"), &QPushButton::clicked, this, &FCfg::charsetTest);
  connect(control<QPushButton>("BtReadVerify"), &QPushButton::clicked, this,
          &FCfg::readVerificationText);
}

void FCfg::deviceRules(bool userChangedDevice) {
  const QString id = selectedDeviceId();
  auto* link = control<QComboBox>("ComTcp");
  if (userChangedDevice) {
    if (among(id, {"BlueGateISDN", "MiniGateA", "BlueGateA", "GSMmodemTC35", "GPRSmodemMC35",
                   "SiemensC35i", "SBlueGateABrave"})) {
      link->setCurrentIndex(0);
    } else if (among(id, {"BlueGateSIP", "PRImaGate", "BlueGateISDNBrave"})) {
      link->setCurrentIndex(1);
    }
    auto* baud = control<QComboBox>("BaudRate");
    if (among(id, {"BlueGateISDN", "BlueGateA", "GSMmodemTC35", "GPRSmodemMC35", "SiemensC35i"})) {
      baud->setCurrentIndex(baud->findText(QStringLiteral("9600")));
    } else if (among(id, {"MiniGateA", "SBlueGateABrave"})) {
      baud->setCurrentIndex(baud->findText(QStringLiteral("19200")));
    }
    fillGatewayDefaults();
    if (among(id, {"PRImaGate", "BlueGateISDNBrave"})) {
      control<QRadioButton>("RbText")->setChecked(true);
    }
  }
  link->setEnabled(id == QLatin1String("Unknown"));
  control<QGroupBox>("GbSerial")->setEnabled(link->currentIndex() == 0);
  control<QGroupBox>("GbEthernet")->setEnabled(link->currentIndex() == 1);
  control<QGroupBox>("GbSmsMode")->setEnabled(!among(id, {"PRImaGate", "BlueGateISDNBrave"}));
}

void FCfg::fillGatewayDefaults() {
  const QString id = selectedDeviceId();
  for (const GatewayDefault& d : kGatewayDefaults) {
    if (id != QLatin1String(d.device)) continue;
    control<QLineEdit>("GtIPAdress")->setText(QLatin1String(d.address));
    control<QLineEdit>("GtTCPPort")->setText(QString::number(d.port));
  }
}

void FCfg::intervalStatus() {
  // Above 1000 minutes the interval is held at 1000, not disabled.
  const double v = regional::parseReal(control<QLineEdit>("Interval")->text()).value_or(-1);
  control<QLabel>("LaIntervalState")
      ->setText(v < 0.2 ? QStringLiteral("undefine - disable") : QString());
}

void FCfg::intervalEnabling() {
  const bool periodic = control<QRadioButton>("RbPeriodically")->isChecked();
  for (const char* name : {"Interval", "LaInterval", "LaIntervalUnit", "LaIntervalState"}) {
    control<QWidget>(name)->setEnabled(periodic);
  }
}

void FCfg::basketEnabling() {
  const bool basket = control<QRadioButton>("RbBasketOn")->isChecked() ||
                      control<QCheckBox>("CbBasketToo")->isChecked();
  for (const char* name : {"BasketName", "LaBasketName"})
    control<QWidget>(name)->setEnabled(basket);
}

void FCfg::longSmsCaption() {
  control<QLabel>("LaLongSms")
      ->setText(kolvane::longSmsCaption(g_.language(), control<QLineEdit>("CutEMax")->text(),
                                        control<QCheckBox>("CbConcatenateSMS")->isChecked()));
}

void FCfg::concatenationHint() {
  auto* hint = control<QLabel>("LaConcatHint");
  hint->setText(g_.Text(151));
  hint->setStyleSheet(control<QCheckBox>("CbConcatenateSMS")->isChecked()
                          ? QStringLiteral("color: navy; font-weight: bold;")
                          : QStringLiteral("color: grey; font-weight: normal;"));
}

void FCfg::charsetDescription() {
  auto* list = control<QListWidget>("ChDescription");
  list->clear();
  const QString item = control<QComboBox>("EmlSmsChConv")->currentText();
  for (const auto& [name, text] : kCharsetDescriptions) {
    if (!itemNames(item, QLatin1String(name))) continue;
    list->addItems(g_.Text(text).split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))));
    return;
  }
}

void FCfg::refreshCatalogueTexts() {
  auto* charset = control<QComboBox>("EmlSmsChConv");
  const int index = charset->currentIndex();
  {
    const QSignalBlocker quiet(charset);
    charset->clear();
    charset->addItems(charsetItems(g_.language()));
    charset->setCurrentIndex(index);
  }
  charsetDescription();
  longSmsCaption();
  concatenationHint();
}

void FCfg::addKnownComputerNames() {
  auto* grid = control<StringGrid>("SgAs1");
  QStringList known;
  for (const auto* list : {&g_.smtp().Clients(), &g_.pop3().Clients()}) {
    for (const tSocketClient& c : *list) {
      if (c.ConTime != 0) known << c.Name;
    }
  }
  for (const QString& name : known) {
    bool listed = false;
    for (int r = 0; r < grid->rowCount(); ++r) {
      listed = listed || grid->cell(r, 0).compare(name, Qt::CaseInsensitive) == 0;
    }
    if (listed) continue;
    const int last = grid->rowCount() - 1;
    const bool lastEmpty = grid->cell(last, 0).isEmpty() && grid->cell(last, 1).isEmpty();
    const int row = lastEmpty ? last : last + 1;
    if (!lastEmpty) grid->insertRow(row);
    grid->setCell(row, 0, name);
    grid->setCell(row, 1, QString());
  }
}

void FCfg::charsetTest() {
  GatewayState& gs = g_.state();
  const QString item = control<QComboBox>("EmlSmsChConv")->currentText();
  gs.cfg.EmlSmsChConv = item.mid(item.indexOf(QLatin1Char('=')) + 1);
  const QByteArray name = gs.cfg.EmlSmsChConv.toUtf8();
  SetUpCharsetReplacement(name, gs.charRepl, [this](const QString& line) { g_.Log(true, line); });
  const QString path = gs.file("") + gs.cfg.EmlSmsChConv + QStringLiteral(".htm");
  QFile::remove(path);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(CharsetTestPage(name, gs.charRepl)) < 0) {
    g_.Log(true, g_.language().Text(121, {path}));
    return;
  }
  file.close();
  if (openDocument) openDocument(path);
}

void FCfg::readVerificationText() {
  SpeechQueue& speech = g_.hostActions().speech();
  speech.selectVoice(control<QListWidget>("TtsVoice")->currentRow());
  speech.TtsSpeak(control<QLineEdit>("LaVerify")->text());
}

void FCfg::languageButton(const QString& name, bool exportToo) {
  Language& language = g_.language();
  if (exportToo) {
    setLanguageAndExport(language, name, languageDialogs);
  } else {
    language.setLanguage(name);
  }
  g_.state().cfg.Language = language.name();
  if (g_.hooks().applyLanguageToWindows) {
    g_.hooks().applyLanguageToWindows();
  } else {
    applyLanguage();
  }
}

}  // namespace kolvane::ui
