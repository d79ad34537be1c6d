#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "platform/ini_file.h"
#include "ui/lamp_image.h"
#include "ui/send_sms_dialog.h"
#include "ui/serial_port_picker.h"
#include "ui/settings_dialog.h"
#include "ui_test_station.h"
#include "unit/qt_print.h"

using namespace kolvane;

namespace {

QStringList visibleLamps(UiStation& s, const QStringList& names) {
  QStringList out;
  for (const QString& n : names) {
    if (s.child<ui::LampImage>(n)->isVisibleTo(&s.main())) out << n;
  }
  return out;
}

QStringList connectLamps() {
  QStringList out;
  for (int k = 1; k <= 7; ++k) out << QStringLiteral("imgConnect%1").arg(k);
  return out;
}

QString labelText(UiStation& s, const char* name) {
  return s.child<QLabel>(QLatin1String(name))->text();
}

}  // namespace

TEST(MainWindow, FirstPaintEndsTheWaitAndTheFirstRefreshDrawsEveryPanel) {
  UiStation s;
  ASSERT_TRUE(s.started);
  ASSERT_TRUE(s.exposed);
  EXPECT_FALSE(s.gs().FirstPaintPending);
  EXPECT_EQ(s.main().windowTitle(), "Kolvane");
  s.gs().StatusText = QStringLiteral(" Ready");
  s.loop->run(200);
  s.main().syncFromGateway();
  EXPECT_EQ(s.gs().LampShown, s.gs().Lamps);
  EXPECT_EQ(visibleLamps(s, {"imgSemafOff", "imgSemafOn"}), QStringList{"imgSemafOff"});
  EXPECT_EQ(visibleLamps(s, connectLamps()), QStringList{"imgConnect1"});
  // PreSetTimeSw is off: the waiting store shows switched off.
  EXPECT_EQ(visibleLamps(s, {"imgWaitTmpOff", "imgWaitTmpOn", "imgWaitTmpSd"}),
            QStringList{"imgWaitTmpSd"});
  EXPECT_EQ(visibleLamps(s, {"imgSmtpTmpOff", "imgSmtpTmpOn", "imgSmtpCliOff", "imgSmtpCliOn",
                             "imgPop3TmpOff", "imgPop3TmpOn", "imgPop3CliOff", "imgPop3CliOn"}),
            (QStringList{"imgSmtpTmpOff", "imgSmtpCliOff", "imgPop3TmpOff", "imgPop3CliOff"}));
  EXPECT_EQ(labelText(s, "pnlStbTextCaption"), " Ready");
  EXPECT_EQ(labelText(s, "LaMa1"), "SMS and SMTP, POP3 server");
  EXPECT_EQ(labelText(s, "lblC10"), "Sent");
  EXPECT_EQ(labelText(s, "lblC00"), "9.12.");
  EXPECT_TRUE(labelText(s, "stat1_0").startsWith(" Version: "));
  // The start-up's time-stamp line reached the log memo first.
  EXPECT_EQ(s.child<QPlainTextEdit>("Me1")->toPlainText().section('\n', 0, 0).size(), 10);
}

TEST(MainWindow, ExactlyTheLinkStageImageShowsAndNoneOutsideTheRange) {
  UiStation s;
  for (int stage = 0; stage <= 7; ++stage) {
    s.gs().Lamps.linkStage = static_cast<std::uint8_t>(stage);
    s.main().StBPanelSet();
    const QStringList expected =
        stage < 7 ? QStringList{QStringLiteral("imgConnect%1").arg(stage + 1)} : QStringList{};
    EXPECT_EQ(visibleLamps(s, connectLamps()), expected) << stage;
  }
}

TEST(MainWindow, WaitingLampFollowsPresetTimesAndTheStore) {
  UiStation s;
  const struct {
    std::uint8_t waitLamp;
    const char* shown;
  } cases[] = {{0, "imgWaitTmpSd"}, {2, "imgWaitTmpSd"}, {1, "imgWaitTmpOff"}, {3, "imgWaitTmpOn"}};
  for (const auto& c : cases) {
    s.gs().WaitLamp = c.waitLamp;
    s.main().StBPanelSet();
    EXPECT_EQ(visibleLamps(s, {"imgWaitTmpOff", "imgWaitTmpOn", "imgWaitTmpSd"}),
              QStringList{c.shown})
        << int(c.waitLamp);
  }
}

TEST(MainWindow, TcpIpHidesThePortNumberAndComShowsIt) {
  UiStation s;
  auto* combo = s.child<QComboBox>("CB1x");
  auto* edit = s.child<QLineEdit>("E1c");
  for (const int index : {1, 0, 1}) {
    combo->setCurrentIndex(index);
    EXPECT_EQ(edit->isVisibleTo(&s.main()), index == 0);
    EXPECT_EQ(s.gs().ComTcpIdx, index);
    EXPECT_EQ(s.gs().ComTcpText(), combo->currentText());
  }
}

TEST(MainWindow, DeviceChosenInTheSettingsShowsAtOnce) {
  UiStation s;
  auto* dialog = s.main().findChild<ui::FCfg*>();
  ASSERT_NE(dialog, nullptr);
  dialog->loadControls();
  dialog->control<QComboBox>("GsmDevice")->setCurrentText("Blue Gate A");
  dialog->saveControls();
  EXPECT_EQ(labelText(s, "stat1_1"), "GSM Device: Blue Gate A");
}

TEST(MainWindow, PortBoxListsTheSerialDevicesAndSavesTheOneTaken) {
  UiStation s;
  auto* picker = s.child<ui::SerialPortPicker>("CbComName");
  ASSERT_TRUE(picker->isVisibleTo(&s.main()));
  picker->setPortSource([] {
    return QList<ui::SerialPortChoice>{{"/dev/ttyUSB0", "/dev/ttyUSB0   Acme USB Modem"}};
  });
  picker->refreshPorts();
  ASSERT_EQ(picker->count(), 1);
  picker->setCurrentIndex(0);
  Q_EMIT picker->activated(0);
  EXPECT_EQ(s.gs().cfg.ComName, "/dev/ttyUSB0");
  EXPECT_EQ(IniFile(s.dir.filePath("Kolvane.ini")).value("CFG", "ComName"), "/dev/ttyUSB0");
  s.child<QComboBox>("CB1x")->setCurrentIndex(1);
  EXPECT_FALSE(picker->isVisibleTo(&s.main()));
}

TEST(MainWindow, StartStopWaitCaptionsAndTheHeaderLockedDuringARelation) {
  UiStation s;
  auto* button = s.child<QPushButton>("BBt1");
  const auto header = [&] {
    return QList<bool>{s.child<QWidget>("CB1x")->isEnabled(), s.child<QWidget>("E1c")->isEnabled(),
                       s.child<QWidget>("BtMa2")->isEnabled()};
  };
  EXPECT_EQ(button->text(), "Start");
  EXPECT_EQ(header(), QList<bool>({true, true, true}));
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(button->text(), "Stop");
  EXPECT_EQ(header(), QList<bool>({false, false, false}));
  s.loop->run(500);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(button->text(), "Wait");
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(button->text(), "Wait");
  s.loop->runUntil([&] { return s.gs().RelationIdle && !s.gs().StopPending; }, 120000);
  s.main().syncFromGateway();
  EXPECT_EQ(button->text(), "Start");
  EXPECT_EQ(header(), QList<bool>({true, true, true}));
  EXPECT_TRUE(s.boxes.isEmpty());
}

TEST(MainWindow, LampClicksCallTheirOpeners) {
  UiStation s;
  QStringList calls;
  ui::WindowOpeners& o = s.windows->openers();
  o.openSettings = [&](int node, const QString& focus) {
    calls << QStringLiteral("settings %1 %2").arg(node).arg(focus);
  };
  o.openView = [&](ui::ViewKind kind) { calls << QStringLiteral("view %1").arg(int(kind)); };
  const struct {
    const char* lamp;
    std::uint8_t bits;  // SMTP and POP3 bits, WaitLamp
    Qt::MouseButton button;
    const char* call;
  } cases[] = {
      {"imgSmtpTmpOn", 7, Qt::LeftButton, "view 2"},
      {"imgWaitTmpOn", 7, Qt::LeftButton, "view 4"},
      {"imgSmtpCliOn", 7, Qt::LeftButton, "view 0"},
      {"imgSmtpCliOff", 0, Qt::LeftButton, "view 0"},
      {"imgPop3TmpOn", 7, Qt::LeftButton, "view 3"},
      {"imgPop3CliOn", 7, Qt::LeftButton, "view 1"},
      {"imgPop3CliOff", 0, Qt::LeftButton, "view 1"},
      {"imgSmtpTmpOff", 0, Qt::LeftButton, ""},
      {"imgGsmGate", 0, Qt::LeftButton, "settings 0 "},
      {"imgGsmGate", 0, Qt::RightButton, ""},
  };
  for (const auto& c : cases) {
    calls.clear();
    s.gs().Lamps.smtpBits = s.gs().Lamps.pop3Bits = c.bits;
    s.gs().WaitLamp = c.bits & 3;
    s.main().StBPanelSet();
    QTest::mouseClick(s.child<QWidget>(QLatin1String(c.lamp)), c.button);
    EXPECT_EQ(calls.join('|'), QLatin1String(c.call)) << c.lamp;
  }
  // The gateway picture follows "More setting": locked during a relation.
  calls.clear();
  s.gs().LinkControlsEnabled = false;
  s.main().syncFromGateway();
  QTest::mouseClick(s.child<QWidget>("imgGsmGate"), Qt::LeftButton);
  EXPECT_TRUE(calls.isEmpty());
  // The PC picture opens the send-SMS dialog.
  QTest::mouseClick(s.child<QWidget>("imgPececko"), Qt::LeftButton);
  EXPECT_TRUE(s.windows->sendDialog().isVisible());
}

TEST(MainWindow, MoreSettingAndStartFailureOpenTheSettingsDialog) {
  UiStation s;
  QStringList opened;
  // The dialog is modal: it is looked at and closed from inside its own event loop.
  const auto closeWhenOpen = [&opened] {
    QTimer::singleShot(0, [&opened] {
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        opened << d->windowTitle();
        d->reject();
      }
    });
  };
  closeWhenOpen();
  QTest::mouseClick(s.child<QWidget>("BtMa2"), Qt::LeftButton);
  closeWhenOpen();
  s.gateway->hooks().openSettingsAt(GatewayHooks::SettingsField::SmtpPort);
  EXPECT_EQ(opened, QStringList({"Kolvane setting", "Kolvane setting"}));
}

TEST(MainWindow, CounterGridAfterASentAndAReceivedSms) {
  UiStation s("Interval=0\n");
  modemsim::Injection sms;
  sms.sender = QStringLiteral("+420777111222");
  sms.text = QStringLiteral("Are you there?");
  s.sim->modem.inject(sms, s.clock.tick());
  ui::TfSiSend& dialog = s.windows->sendDialog();
  dialog.showDialog();
  QTest::keyClicks(dialog.findChild<QLineEdit*>("EdTelNo"), "+420777333444");
  QTest::keyClicks(dialog.findChild<QPlainTextEdit*>("MeText"), "Yes, here.");
  QTest::mouseClick(dialog.findChild<QPushButton*>("BtSend"), Qt::LeftButton);
  s.relation();
  const auto sent = s.sim->modem.takeSent();
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].number, "+420777333444");
  EXPECT_EQ(sent[0].text, "Yes, here.");
  const Settings& c = s.gs().cfg;
  EXPECT_EQ(c.SmsOutCnt, 1);
  EXPECT_EQ(c.SmsInCnt, 1);
  EXPECT_EQ(QStringList({labelText(s, "lblC11"), labelText(s, "lblC21"), labelText(s, "lblC12"),
                         labelText(s, "lblC22")}),
            QStringList({"1", "1", QString::number(c.EmlOutCnt), QString::number(c.EmlInCnt)}));
  EXPECT_TRUE(s.child<QPlainTextEdit>("Me1")->toPlainText().contains("/dev/ttyS0 connected"));
}

TEST(MainWindow, StartFailureBoxesOpenTheSettingsOnTheirPageAndField) {
  UiStation s;
  QStringList calls;
  s.windows->openers().openSettings = [&](int node, const QString& focus) {
    calls << QString::number(node) + ' ' + focus;
  };
  using Field = GatewayHooks::SettingsField;
  for (const Field f : {Field::ComPort, Field::GatewayAddress, Field::SmtpPort, Field::Pop3Port}) {
    s.gateway->hooks().openSettingsAt(f);
  }
  EXPECT_EQ(calls, QStringList({"0 ComNo", "0 GtIPAdress", "1 SmtpPort", "1 Pop3Port"}));
}

TEST(MainWindow, CaptionsFollowTheLanguage) {
  const struct {
    const char* language;
    const char* moreSetting;
    const char* sent;
    const char* telNo;
  } cases[] = {{"EN", "More setting", "Sent", "Telephone number"},
               {"CZ", "Další nastavení", nullptr, "Telefonní číslo"}};
  for (const auto& c : cases) {
    UiStation s(QByteArray("Language=") + c.language + '\n');
    EXPECT_EQ(s.child<QPushButton>("BtMa2")->text(), QString::fromUtf8(c.moreSetting));
    EXPECT_EQ(labelText(s, "lblC10"), s.gateway->Text(164));
    if (c.sent) {
      EXPECT_EQ(labelText(s, "lblC10"), QLatin1String(c.sent));
    }
    EXPECT_EQ(s.windows->sendDialog().findChild<QLabel*>("LaTelNo")->text(),
              QString::fromUtf8(c.telNo));
  }
}

TEST(MainWindow, CloseOffKeepsTheProgramAndAltQClosesIt) {
  UiStation s("CloseOff=1\n");
  QSignalSpy finished(s.gateway.get(), &Gateway::finished);
  s.main().close();
  // Offscreen there is no notification area: the window is minimised instead of lost.
  EXPECT_TRUE(s.main().isMinimized() || !s.main().isVisible());
  EXPECT_FALSE(finished.wait(200));
  s.main().showNormal();
  QTest::keyClick(&s.main(), Qt::Key_Q, Qt::AltModifier);
  EXPECT_TRUE(finished.wait(2000));
  EXPECT_TRUE(s.main().close());  // the event loop's own close is agreed to once shut down
  EXPECT_TRUE(IniFile(s.dir.filePath("Kolvane.ini")).read().hasSection("FMain"));
}
