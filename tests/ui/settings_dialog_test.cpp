#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "unit/qt_print.h"
#include "unit/store_test_gateway.h"

#include "context/settings_loader.h"
#include "core/host_actions.h"
#include "mail/mail_accounts.h"
#include "mail/smtp_server.h"
#include "platform/ini_file.h"
#include "platform/regional.h"
#include "settings/settings.h"
#include "ui/mail_accounts_box.h"
#include "ui/secondary_windows.h"
#include "ui/serial_port_picker.h"
#include "ui/settings_dialog.h"
#include "ui/string_grid.h"
#include "ui/window_placement.h"

using namespace kolvane;
using kolvane::ui::FCfg;
using kolvane::ui::StringGrid;

namespace {

// Every key's value as text, so two settings compare key by key with readable failures.
QStringList values(const Settings& s) {
  QStringList out;
  for (const SettingKey& k : settingKeys()) {
    QString v;
    if (k.boolMember) v = QString::number(s.*k.boolMember);
    if (k.intMember) v = QString::number(s.*k.intMember);
    if (k.int16Member) v = QString::number(s.*k.int16Member);
    if (k.int8Member) v = QString::number(s.*k.int8Member);
    if (k.realMember) v = QString::number(s.*k.realMember);
    if (k.strMember) v = s.*k.strMember;
    if (k.str8Member) v = QString::fromUtf8(s.*k.str8Member);
    out << QLatin1String(k.name) + QLatin1Char('=') + v;
  }
  return out;
}

QStringList tables(const GatewayState& gs) {
  QStringList out;
  for (const AliasType& a : gs.Aliases) out << "alias " + a.NamePC + "=" + a.AliasName;
  for (const ReplaceType& r : gs.Replacements) out << "repl " + r.TelNo + "=" + r.EmlAddr;
  for (const QString& n : gs.SmsToCmdTelNo) out << "telno " + n;
  for (const SmsToCmdSubstType& c : gs.SmsToCmdSubst) out << "subst " + c.Subst + "=" + c.CmdStr;
  out << "com " + gs.ComNoText << "link " + QString::number(gs.ComTcpIdx)
      << "device " + QString::number(gs.GsmDeviceIdx);
  return out;
}

class SettingsDialog : public ::testing::Test {
 protected:
  SettingsDialog() : dialog(t.g()) {}
  template <typename W>
  W* c(const char* name) {
    W* w = dialog.control<W>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void ok() { dialog.saveControls(); }

  StoreTestGateway t;
  FCfg dialog;
};

TEST_F(SettingsDialog, OkWithoutChangesKeepsEverySetting) {
  // The defaults, and a set where every switch is flipped and every list has entries.
  for (const bool varied : {false, true}) {
    GatewayState& gs = t.gs();
    Settings& s = gs.cfg;
    if (varied) {
      for (const SettingKey& k : settingKeys()) {
        if (k.boolMember && QLatin1String(k.name) != "ComParamOn") s.*k.boolMember ^= true;
      }
      s.EmlSmsChConv = "iso-8859-2";
      s.EmlSmsNoOk = 1;
      s.Interval = 2.5;
      s.GsmDevice = "PRImaGate";
      gs.GsmDeviceIdx = 4;
      s.BaudRate = 19200;
      s.SmtpPort = 2525;
      s.CutEMax = 3;
      gs.ComNoText = "3";
      gs.ComTcpIdx = 1;
      s.ComTcp = 1;
      gs.Aliases = {{"pc1", "boss"}, {"pc2", "desk"}};
      gs.Replacements = {{"+420111", "a@b.c"}};
      gs.SmsToCmdTelNo = {"123", "+420123"};
      gs.SmsToCmdSubst = {{"ntp", "/usr/bin/ntpdate"}, {"x", ""}};
      applyIntervals(gs);
    }
    const QStringList before = values(s);
    const QStringList beforeTables = tables(gs);
    dialog.loadControls();
    ok();
    QStringList expected = before;
    if (!varied)
      expected.replaceInStrings(QRegularExpression("^EmlSmsChConv=$"), "EmlSmsChConv=utf-8");
    const QStringList after = values(s);
    for (qsizetype i = 0; i < after.size(); ++i) EXPECT_EQ(after[i], expected[i]) << varied;
    EXPECT_EQ(tables(gs), beforeTables);
  }
}

TEST_F(SettingsDialog, DeviceRules) {
  struct Case {
    const char* device;
    int link;          // link type selected afterwards
    const char* baud;  // baud rate selected afterwards ("" unchanged)
    const char* port;  // TCP port afterwards
    bool modeEnabled;
  };
  const Case cases[] = {
      {"PRIma Gate", 1, "57600", "1002", false},
      {"Blue Gate ISDN Brave", 1, "57600", "1002", false},
      {"Blue Gate SIP", 1, "57600", "11201", true},
      {"Blue Gate ISDN", 0, "9600", "777", true},
      {"Mini Gate A", 0, "19200", "777", true},
      {"Blue Gate A Brave", 0, "19200", "777", true},
      {"GSM modem", 1, "57600", "777", true},
  };
  for (const Case& k : cases) {
    t.gs().cfg.BaudRate = 57600;
    t.gs().cfg.PDUText = false;
    t.gs().cfg.GtTCPPort = 777;
    t.gs().ComTcpIdx = 1;
    t.gs().GsmDeviceIdx = 0;
    dialog.loadControls();
    c<QComboBox>("GsmDevice")->setCurrentText(k.device);
    SCOPED_TRACE(k.device);
    EXPECT_EQ(c<QComboBox>("ComTcp")->currentIndex(), k.link);
    EXPECT_EQ(c<QComboBox>("BaudRate")->currentText(), k.baud);
    EXPECT_EQ(c<QLineEdit>("GtTCPPort")->text(), k.port);
    EXPECT_EQ(c<QGroupBox>("GbSmsMode")->isEnabled(), k.modeEnabled);
    EXPECT_EQ(c<QRadioButton>("RbText")->isChecked(), !k.modeEnabled);
    EXPECT_EQ(c<QComboBox>("ComTcp")->isEnabled(), QString(k.device) == "GSM modem");
    EXPECT_EQ(c<QGroupBox>("GbSerial")->isEnabled(), k.link == 0);
    EXPECT_EQ(c<QGroupBox>("GbEthernet")->isEnabled(), k.link == 1);
  }
  // Opening applies the layout only: the saved port stays.
  t.gs().GsmDeviceIdx = 4;
  dialog.loadControls();
  EXPECT_EQ(c<QLineEdit>("GtTCPPort")->text(), "777");
  EXPECT_FALSE(c<QComboBox>("ComTcp")->isEnabled());
  // "Default" fills the gateway's address for the selected device only.
  c<QPushButton>("BtDefault")->click();
  EXPECT_EQ(c<QLineEdit>("GtTCPPort")->text(), "1002");
}

TEST_F(SettingsDialog, LongSmsCaptionAndLiveRules) {
  dialog.loadControls();
  struct Case {
    const char* max;
    bool concatenate;
    QStringList args;  // empty: no caption
  };
  const Case cases[] = {
      {"5", true, {"765", "5", "153", "765"}},
      {"5", false, {"800", "5", "160", "800"}},
      {"0", true, {}},
      {"x", true, {}},
  };
  for (const Case& k : cases) {
    c<QCheckBox>("CbConcatenateSMS")->setChecked(k.concatenate);
    c<QLineEdit>("CutEMax")->setText(k.max);
    EXPECT_EQ(c<QLabel>("LaLongSms")->text(),
              k.args.isEmpty() ? QString() : t.g().language().Text(123, k.args));
  }
  EXPECT_TRUE(c<QLabel>("LaConcatHint")->styleSheet().contains("navy"));

  c<QLineEdit>("Interval")->setText("0.1");
  EXPECT_EQ(c<QLabel>("LaIntervalState")->text(), "undefine - disable");
  c<QLineEdit>("Interval")->setText(regional::formatReal(2.5));
  EXPECT_EQ(c<QLabel>("LaIntervalState")->text(), "");
  c<QRadioButton>("RbOnLine")->setChecked(true);
  EXPECT_FALSE(c<QLineEdit>("Interval")->isEnabled());

  c<QRadioButton>("RbEveryone")->setChecked(true);
  c<QCheckBox>("CbBasketToo")->setChecked(false);
  EXPECT_FALSE(c<QLineEdit>("BasketName")->isEnabled());
  c<QCheckBox>("CbBasketToo")->setChecked(true);
  EXPECT_TRUE(c<QLineEdit>("BasketName")->isEnabled());

  c<QCheckBox>("CbReportSw")->setChecked(false);
  c<QCheckBox>("CbReportAll")->setChecked(true);
  EXPECT_TRUE(c<QCheckBox>("CbReportSw")->isChecked());

  // An interval too short means no repetition.
  c<QRadioButton>("RbPeriodically")->setChecked(true);
  c<QLineEdit>("Interval")->setText("0.1");
  ok();
  EXPECT_EQ(t.gs().PeriodicIntervalMs, 0u);
}

TEST_F(SettingsDialog, HeaderFollowsTheTreeInBothLanguages) {
  const std::tuple<int, const char*, const char*> cases[] = {
      {8, "E-mail to SMS   >   Priority", "E-mail na SMS   >   Priorita"},
      {3, "E-mail to SMS   >   Long E-Mail", "E-mail na SMS   >   Dlouhý e-mail"},
      {1, "SMTP, POP3", "SMTP, POP3"},
      {14, "SMS to Commandline", "SMS na příkazový řádek"},
      {18, "SMS to Text-To-Speech   >   Select voice",
       "SMS na řeč (Text-To-Speech)   >   Výběr hlasu"},
  };
  for (const auto& [node, english, czech] : cases) {
    dialog.selectNode(node);
    EXPECT_EQ(dialog.headerText(), QString::fromUtf8(english));
    EXPECT_EQ(t.gs().PgNdx, node);
  }
  c<QWidget>("btnCZ");
  QMetaObject::invokeMethod(c<QAbstractButton>("btnCZ"), "click");
  EXPECT_EQ(t.gs().cfg.Language, "CZ");
  for (const auto& [node, english, czech] : cases) {
    dialog.selectNode(node);
    EXPECT_EQ(dialog.headerText(), QString::fromUtf8(czech));
  }
  EXPECT_EQ(c<QAbstractButton>("BtCancel")->text(), "Storno");
}

TEST_F(SettingsDialog, GridsKeepOnlyFilledRows) {
  dialog.loadControls();
  c<StringGrid>("SgAs1")->setRows({{"pc1", "boss"}, {"pc2", ""}, {"", "nobody"}, {"pc3", "x"}});
  c<StringGrid>("SgSc1")->setRows({{"ntp", "/usr/bin/ntpdate"}, {"noop", ""}, {"", "/bin/true"}});
  c<StringGrid>("SgTn1")->setRows({{"123"}, {""}, {"+420123"}});
  c<StringGrid>("SgRp1")->setRows({{"+420111", ""}, {"+420222", "a@b.c"}});
  ok();
  const GatewayState& gs = t.gs();
  ASSERT_EQ(gs.Aliases.size(), 2);
  EXPECT_EQ(gs.Aliases[1].NamePC, "pc3");
  ASSERT_EQ(gs.SmsToCmdSubst.size(), 2);
  EXPECT_EQ(gs.SmsToCmdSubst[1].Subst, "noop");
  EXPECT_EQ(gs.SmsToCmdSubst[1].CmdStr, "");
  EXPECT_EQ(gs.SmsToCmdTelNo, (QList<QString>{"123", "+420123"}));
  ASSERT_EQ(gs.Replacements.size(), 1);
  EXPECT_EQ(gs.Replacements[0].TelNo, "+420222");

  // A key in the last row grows the grid.
  auto* grid = c<StringGrid>("SgTn1");
  grid->setCurrentCell(grid->rowCount() - 1, 0);
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(grid->rowCount(), 4);
}

TEST_F(SettingsDialog, ChangedSettingReachesTheGatewayAndTheFile) {
  dialog.loadControls();
  c<QLineEdit>("SmtpPort")->setText("2525");
  c<QLineEdit>("Pop3Port")->setText("pop");  // not a number: the default port
  c<QCheckBox>("CbPreSetTimeSw")->setChecked(true);
  c<QComboBox>("GsmDevice")->setCurrentText("PRIma Gate");
  ok();
  EXPECT_EQ(t.gs().cfg.SmtpPort, 2525);
  EXPECT_EQ(t.gs().cfg.Pop3Port, 110);
  EXPECT_EQ(t.gs().cfg.GsmDevice, "PRImaGate");
  EXPECT_EQ(t.gs().WaitLamp & 1, 1);
  const IniFile ini(t.path("Kolvane.ini"));
  EXPECT_EQ(ini.value("CFG", "SmtpPort"), "2525");
  EXPECT_EQ(ini.value("CFG", "GsmDevice"), "PRImaGate");
  EXPECT_EQ(ini.value("CFG", "GtTCPPort"), "1002");
  EXPECT_EQ(ini.value("CFG", "PreSetTimeSw"), "1");

  // Cancel leaves everything as it is.
  dialog.loadControls();
  c<QLineEdit>("SmtpPort")->setText("26");
  dialog.reject();
  EXPECT_EQ(t.gs().cfg.SmtpPort, 2525);
}

TEST_F(SettingsDialog, CharsetTestWritesThePageAndOpensIt) {
  t.gs().cfg.Debug = true;
  dialog.loadControls();
  EXPECT_FALSE(c<QPushButton>("BtTest")->isHidden());
  QString opened;
  dialog.openDocument = [&](const QString& path) { opened = path; };
  auto* charset = c<QComboBox>("EmlSmsChConv");
  charset->setCurrentIndex(charset->findText("windows-1250", Qt::MatchContains));
  t.write("windows-1250.htm", "old");
  c<QPushButton>("BtTest")->click();
  EXPECT_EQ(opened, t.path("windows-1250.htm"));
  EXPECT_EQ(t.gs().cfg.EmlSmsChConv, "windows-1250");
  const QByteArray page = t.read("windows-1250.htm");
  EXPECT_TRUE(page.startsWith("<HTML><BODY><PRE>\r\n<META")) << page.left(40).toStdString();
  EXPECT_TRUE(page.contains("charset=windows-1250\">\r\nMailSmsXxxCh\r\nHex="));
  EXPECT_TRUE(page.endsWith("</PRE></BODY></HTML>\r\n"));
  EXPECT_FALSE(c<QListWidget>("ChDescription")->count() == 0);
}

TEST_F(SettingsDialog, AddKnownComputerNamesSkipsListedOnes) {
  IniFile(t.path("Kolvane.ini")).update([](IniText& ini) {
    ini.setValue("SmtpCliDateTime", "PC-A", "46000");
    ini.setValue("SmtpCliDateTime", "pc-b", "46000");
  });
  t.g().smtp().ClientsInit();
  dialog.loadControls();
  auto* grid = c<StringGrid>("SgAs1");
  grid->setRows({{"PC-B", "boss"}});
  c<QPushButton>("BtAddKnown")->click();
  EXPECT_EQ(grid->rows(), (QList<QStringList>{{"PC-B", "boss"}, {"PC-A", ""}}));
}

}  // namespace

namespace {

// Voices and what they were asked to say.
struct RecordingSpeech : SpeechEngine {
  QStringList* said;
  QStringList voices() const override { return {"Anna", "Bob"}; }
  void selectVoice(const QString& name, int index) override {
    *said << "voice " + name + " " + QString::number(index);
  }
  void say(const QString& text, std::function<void(bool)> done) override {
    *said << text;
    done(true);
  }
};

TEST_F(SettingsDialog, VoiceListReadsTheVerificationText) {
  QStringList said;
  SpeechQueue& speech = t.g().hostActions().speech();
  speech.setEngineFactory([&said] {
    auto e = std::make_unique<RecordingSpeech>();
    e->said = &said;
    return e;
  });
  speech.fillVoiceList();
  t.gs().cfg.TtsVoice = "Bob";
  dialog.loadControls();
  auto* voices = c<QListWidget>("TtsVoice");
  EXPECT_EQ(voices->count(), 2);
  EXPECT_EQ(voices->currentItem()->text(), "Bob");
  EXPECT_EQ(c<QLineEdit>("LaVerify")->text(), "Verification text");
  c<QPushButton>("BtReadVerify")->click();
  EXPECT_TRUE(said.contains("Verification text")) << said.join('|').toStdString();
  voices->setCurrentRow(0);
  ok();
  EXPECT_EQ(t.gs().cfg.TtsVoice, "Anna");
}

TEST_F(SettingsDialog, LanguageButtonExportsOnTheRightButton) {
  QStringList boxes;
  dialog.languageDialogs.info = [&](const QString&, const QString& text) { boxes << text; };
  Q_EMIT c<QWidget>("btnCZ")->customContextMenuRequested({});
  EXPECT_TRUE(QFile::exists(t.path("CZ.ini")));
  EXPECT_EQ(t.gs().cfg.Language, "CZ");
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains(t.path("CZ"))) << boxes[0].toStdString();
  // A left click only switches.
  c<QAbstractButton>("btnEN")->click();
  EXPECT_FALSE(QFile::exists(t.path("EN.ini")));
  EXPECT_EQ(c<QAbstractButton>("BtCancel")->text(), "Cancel");
}

TEST_F(SettingsDialog, StartUpBoxesOpenTheRightPage) {
  QWidget owner;
  ui::WindowOpeners openers;
  ui::installSecondaryWindows(openers, t.g(), &owner);
  auto* opened = owner.findChild<FCfg*>();
  // The link in force decides which of the device page's groups can take the focus.
  const std::tuple<GatewayHooks::SettingsField, int, int, const char*> cases[] = {
      {GatewayHooks::SettingsField::ComPort, 0, 0, "ComNo"},
      {GatewayHooks::SettingsField::GatewayAddress, 1, 0, "GtIPAdress"},
      {GatewayHooks::SettingsField::SmtpPort, 0, 1, "SmtpPort"},
      {GatewayHooks::SettingsField::Pop3Port, 1, 1, "Pop3Port"},
  };
  for (const auto& [field, link, node, focus] : cases) {
    t.gs().ComTcpIdx = link;
    int shownNode = -1;
    QString focused;
    QTimer::singleShot(0, opened, [&, opened] {
      shownNode = opened->currentNode();
      focused = opened->focusWidget() ? opened->focusWidget()->objectName() : QString();
      opened->reject();
    });
    t.g().hooks().openSettingsAt(field);
    EXPECT_EQ(shownNode, node);
    EXPECT_EQ(focused, focus);
  }
}

TEST_F(SettingsDialog, StoredPlacementOffTheScreenOpensOnIt) {
  t.gs().Placements["FCfg"] = {2000, 3000, 600, 900, true};
  QRect shown;
  QTimer::singleShot(0, &dialog, [&] {
    shown = dialog.frameGeometry();
    dialog.reject();
  });
  dialog.openAt(0, {});
  const QRect screen = ui::availableScreens().first();
  EXPECT_TRUE(screen.contains(shown.topLeft()));
  // What is saved is where it was seen.
  const WindowPlacement& kept = t.gs().Placements["FCfg"];
  EXPECT_TRUE(screen.contains(QPoint(kept.Left, kept.Top)));
}

TEST_F(SettingsDialog, NumberFieldsRefuseWhatTheProgramCannotUse) {
  QStringList told;
  dialog.outOfRange = [&](const QString& range) { told << range; };
  dialog.loadControls();
  const struct {
    const char* field;
    const char* typed;
    const char* kept;  // what the field holds after typing
    const char* told;  // the range told at OK, or empty when OK goes through
    int node;          // the page shown then
  } cases[] = {
      {"ComNo", "123", "12", "", -1},
      {"ComNo", "0", "0", "1 - 99", 0},
      {"SmtpPort", "70000", "70000", "1 - 65535", 1},
      {"SmtpPort", "0", "0", "1 - 65535", 1},
      {"Pop3Port", "", "", "", -1},
      {"Pop3Port", "-5", "5", "", -1},
      {"CutEMax", "0", "0", "1 - 255", 4},
      {"SmtpCliMax", "x", "", "", -1},
  };
  for (const auto& c : cases) {
    dialog.loadControls();
    auto* edit = this->c<QLineEdit>(c.field);
    edit->clear();
    edit->setFocus();
    QTest::keyClicks(edit, QString::fromLatin1(c.typed));
    EXPECT_EQ(edit->text(), c.kept) << c.field << " " << c.typed;
    told.clear();
    dialog.accept();
    EXPECT_EQ(told.join(""), c.told) << c.field << " " << c.typed;
    if (c.node >= 0) {
      EXPECT_EQ(dialog.currentNode(), c.node) << c.field;
    }
  }
  // An out-of-range COM number never reaches the settings.
  EXPECT_NE(t.gs().ComNoText, "0");
}

TEST_F(SettingsDialog, DevicePickerListsPortsKeepsATypedPathAndSavesComName) {
  QTemporaryDir dev;
  const QString usb = dev.filePath("ttyUSB0"), acm = dev.filePath("ttyACM0");
  for (const QString& f : {usb, acm}) {
    QFile device(f);
    ASSERT_TRUE(device.open(QIODevice::WriteOnly));
  }
  QDir(dev.path()).mkpath("by-id");
  QFile::link(usb, dev.filePath("by-id/usb-Acme_Modem_123-if00-port0"));
  const QList<ui::SerialPortChoice> choices =
      ui::serialPortChoices({{usb, "Acme", "USB Modem"}, {acm, "", ""}}, dev.filePath("by-id"));
  ASSERT_EQ(choices.size(), 3);
  EXPECT_EQ(choices[0].path, dev.filePath("by-id/usb-Acme_Modem_123-if00-port0"));
  EXPECT_EQ(choices[0].text, choices[0].path + "   (ttyUSB0)   Acme USB Modem");
  EXPECT_EQ(choices[1].text, usb + "   Acme USB Modem");
  EXPECT_EQ(choices[2].text, acm);

  dialog.loadControls();
  auto* picker = c<ui::SerialPortPicker>("ComName");
  picker->setPorts(choices);
  picker->setCurrentIndex(0);
  EXPECT_EQ(picker->path(), choices[0].path);  // the path, not the description
  ok();
  EXPECT_EQ(t.gs().cfg.ComName, choices[0].path);
  EXPECT_EQ(IniFile(t.path("Kolvane.ini")).value("CFG", "ComName"), choices[0].path);

  // A typed path (a pseudo-terminal is not listed) survives a new look at the ports.
  dialog.loadControls();
  picker->setPorts(choices);
  EXPECT_EQ(picker->path(), choices[0].path);
  picker->setEditText("/dev/pts/7");
  picker->setPorts(choices);
  ok();
  EXPECT_EQ(IniFile(t.path("Kolvane.ini")).value("CFG", "ComName"), "/dev/pts/7");
  // Emptied, the COM number is in force again.
  dialog.loadControls();
  picker->setEditText("");
  ok();
  EXPECT_EQ(t.gs().cfg.ComName, "");
}

}  // namespace

TEST_F(SettingsDialog, MailAccountsAreListedSetAndRemoved) {
  IniFile ini(t.path(QStringLiteral("Kolvane.ini")));
  ASSERT_TRUE(ini.setValue(QStringLiteral("Other"), QStringLiteral("Keep"), QStringLiteral("1")));
  ASSERT_TRUE(StoreAccountChanges(ini, {{QStringLiteral("Alice"), HashPassword("old")},
                                        {QStringLiteral("bob"), HashPassword("bobs")}}));
  t.g().state().cfg.MailUsers = ReadMailUsers(ini.read(), [](const QString&) {});
  dialog.loadControls();
  auto* box = c<ui::MailAccountsBox>("GbMailUsers");
  auto* list = c<QListWidget>("LbMailUsers");
  ASSERT_EQ(list->count(), 2);
  QStringList refused;
  std::optional<QByteArray> typed = QByteArray("new pw");
  box->askPassword = [&](const QString&) { return typed; };
  box->refuse = [&](const QString& text) { refused << text; };

  list->setCurrentRow(0);  // Alice, picked from the list, typed in other case below
  EXPECT_EQ(c<QLineEdit>("EdMailUser")->text(), QStringLiteral("Alice"));
  c<QLineEdit>("EdMailUser")->setText(QStringLiteral("ALICE"));
  QTest::mouseClick(c<QPushButton>("BtSetPassword"), Qt::LeftButton);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("Alice (new password)"));
  c<QLineEdit>("EdMailUser")->setText(QStringLiteral("bob"));
  QTest::mouseClick(c<QPushButton>("BtRemoveUser"), Qt::LeftButton);
  for (const char* name : {"a b", "carol"}) {
    c<QLineEdit>("EdMailUser")->setText(QString::fromLatin1(name));
    typed = QByteArray();  // an empty password is refused like a bad name
    QTest::mouseClick(c<QPushButton>("BtSetPassword"), Qt::LeftButton);
  }
  EXPECT_EQ(refused.size(), 2);
  ASSERT_EQ(list->count(), 1);
  ok();

  const auto& users = t.g().state().cfg.MailUsers;
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].name, QStringLiteral("Alice"));
  EXPECT_TRUE(PasswordMatches(users[0].hash, "new pw"));
  EXPECT_EQ(ini.value(QStringLiteral("Other"), QStringLiteral("Keep")), QStringLiteral("1"));
  EXPECT_FALSE(ini.read().hasKey(QStringLiteral("MailUsers"), QStringLiteral("bob")));
  QFile file(t.path(QStringLiteral("Kolvane.ini")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_FALSE(file.readAll().contains("new pw"));
}

// A picture of the e-mail page for a look: run under xvfb-run with KOLVANE_SHOTS set.
TEST_F(SettingsDialog, DISABLED_MailPageScreenshot) {
  const QString out = qEnvironmentVariable("KOLVANE_SHOTS");
  ASSERT_FALSE(out.isEmpty());
  IniFile ini(t.path(QStringLiteral("Kolvane.ini")));
  ASSERT_TRUE(StoreAccountChanges(ini, {{QStringLiteral("reception"), HashPassword("a")},
                                        {QStringLiteral("j.novak"), HashPassword("b")}}));
  t.g().state().cfg.MailUsers = ReadMailUsers(ini.read(), [](const QString&) {});
  dialog.loadControls();
  dialog.selectNode(1);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::qWait(300);
  EXPECT_TRUE(dialog.grab().save(out + "/settings-mail-accounts.png"));
  QTimer::singleShot(300, [&] {
    if (auto* d = QApplication::activeModalWidget()) {
      d->grab().save(out + "/settings-mail-password.png");
      d->close();
    }
  });
  ui::askNewPassword(&dialog, t.g().language(), QStringLiteral("reception"));
}
