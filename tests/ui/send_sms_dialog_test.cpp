#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "mail/mail_rec.h"
#include "ui/alarm_window.h"
#include "ui/send_sms_dialog.h"
#include "ui_test_station.h"
#include "unit/qt_print.h"

using namespace kolvane;

namespace {

struct Dialog {
  Dialog() : d(s.windows->sendDialog()) { d.showDialog(); }
  QLineEdit* tel() { return d.findChild<QLineEdit*>("EdTelNo"); }
  ui::SmsTextEdit* text() { return d.findChild<ui::SmsTextEdit*>("MeText"); }
  QPushButton* send() { return d.findChild<QPushButton*>("BtSend"); }
  QString panel(int i) {
    return d.findChild<QLabel*>(QStringLiteral("StatusBar_%1").arg(i))->text();
  }

  UiStation s;
  ui::TfSiSend& d;
};

// Key presses carrying any text, also outside what QTest types.
void typeText(QWidget* w, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
  }
}

}  // namespace

TEST(SendSmsDialog, TypingFiltersRefuseWhatTheFieldsDoNotTake) {
  Dialog t;
  QTest::keyClicks(t.tel(), "+42a0 7-7x7");
  EXPECT_EQ(t.tel()->text(), "+420777");
  typeText(t.text(), QStringLiteral("a~bě}c{\x7f"));
  QTest::keyClick(t.text(), Qt::Key_Return);
  QTest::keyClicks(t.text(), "d");
  EXPECT_EQ(t.text()->smsText(), QStringLiteral("abě}c{\r\nd"));
  // Pasting goes through the same filter.
  QApplication::clipboard()->setText(QStringLiteral("x~ž y"));
  t.text()->paste();
  EXPECT_EQ(t.text()->smsText(), QStringLiteral("abě}c{\r\ndxž y"));
  // 160 characters at most, a line break counting two.
  t.text()->clear();
  QTest::keyClicks(t.text(), QString(170, QLatin1Char('m')));
  EXPECT_EQ(t.text()->smsText().size(), 160);
}

TEST(SendSmsDialog, TextFromAnyOtherSourceIsFilteredAndHeldTo160) {
  Dialog t;
  QTest::keyClicks(t.tel(), "+420777333444");
  // An input method composes letters without key presses: a dead caron and "e" give "ě".
  QTest::keyClicks(t.text(), QString(158, QLatin1Char('a')));
  QInputMethodEvent compose;
  compose.setCommitString(QStringLiteral("~ěexyz"));
  QApplication::sendEvent(t.text(), &compose);
  EXPECT_EQ(t.text()->smsText(), QString(158, QLatin1Char('a')) + QStringLiteral("ěe"));
  EXPECT_EQ(t.panel(0), " 160 / 000");
  // A program or a drop that sets the text goes through the same filter.
  t.text()->setPlainText(QStringLiteral("~") + QString(200, QLatin1Char('b')));
  EXPECT_EQ(t.text()->smsText(), QString(160, QLatin1Char('b')));
  t.text()->setPlainText(QStringLiteral("a\nb"));
  EXPECT_EQ(t.text()->smsText(), "a\r\nb");
}

TEST(SendSmsDialog, AStoreThatCannotBeWrittenIsToldNotHidden) {
  Dialog t;
  QTest::keyClicks(t.tel(), "+420777333444");
  QTest::keyClicks(t.text(), "Meeting at ten");
  // A folder where the store file should be: it cannot be opened for appending.
  ASSERT_TRUE(QDir(t.s.dir.path()).mkdir("Smtp.Tmp"));
  QTest::mouseClick(t.send(), Qt::LeftButton);
  EXPECT_EQ(t.panel(1), "Saving to Smtp.Tmp failed");
}

TEST(SendSmsDialog, CounterAndSendRule) {
  Dialog t;
  EXPECT_EQ(t.panel(0), " 000 / 160");
  EXPECT_EQ(t.panel(1), "SMS is being prepared");
  const struct {
    const char* tel;
    const char* text;
    bool enabled;
    const char* counter;
  } cases[] = {
      {"12345", "", false, " 000 / 160"},
      {"1234", "hi", false, " 002 / 158"},
      {"12345", "hi", true, " 002 / 158"},
      {"+4207", "x", true, " 001 / 159"},
  };
  for (const auto& c : cases) {
    t.tel()->setText(QLatin1String(c.tel));
    t.text()->setPlainText(QLatin1String(c.text));
    EXPECT_EQ(t.send()->isEnabled(), c.enabled) << c.tel << ' ' << c.text;
    EXPECT_EQ(t.panel(0), QLatin1String(c.counter));
  }
}

TEST(SendSmsDialog, EachSendAppendsAJobWithItsOwnPosIdAndKeepsTheFields) {
  Dialog t;
  QTest::keyClicks(t.tel(), "+420777333444");
  QTest::keyClicks(t.text(), "Meeting at ten");
  QTest::mouseClick(t.send(), Qt::LeftButton);
  EXPECT_EQ(t.panel(1), "SMS transferred to the SMTP container.");
  QTest::mouseClick(t.send(), Qt::LeftButton);
  EXPECT_EQ(t.tel()->text(), "+420777333444");
  EXPECT_TRUE(t.s.gs().Lamps.smtpBits & kLampStore);
  QFile f(t.s.dir.filePath("Smtp.Tmp"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray data = f.readAll();
  QList<tMailRec> recs;
  for (qsizetype off = 0; off < data.size();) {
    const tMailRec r = StrToMailRec(data.mid(off), {"Report", "SendTime", {}, t.s.clock.now()});
    if (r.EndPos < 0) break;
    recs << r;
    off += r.EndPos + 1;
  }
  ASSERT_EQ(recs.size(), 2);
  EXPECT_NE(recs[0].PosID, recs[1].PosID);
  EXPECT_EQ(recs[0].NamePC, "localhost");
  EXPECT_EQ(recs[0].From, "<Kolvane>");
  EXPECT_EQ(recs[0].Subj, "Kolvane send SMS");
  EXPECT_EQ(TelNoFromStr(recs[0].Toe), "+420777333444");
}

// A Czech text longer than one UCS-2 SMS arrives whole in parts, or the dialog says why not.
TEST(SendSmsDialog, ALongCzechTextArrivesWholeOrIsRefusedInTheDialog) {
  const QString czech =
      QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy. ").repeated(3).left(110);
  for (const bool concatenate : {true, false}) {
    SCOPED_TRACE(concatenate);
    Dialog t;
    t.s.gs().cfg.ConcatenateSMS = concatenate;
    QTest::keyClicks(t.tel(), "+420777333444");
    typeText(t.text(), czech);
    ASSERT_EQ(t.text()->smsText(), czech);
    QTest::mouseClick(t.send(), Qt::LeftButton);
    t.s.relation();
    QString arrived;
    for (const auto& sms : t.s.sim->modem.takeSent()) arrived += sms.text;
    if (concatenate) {
      EXPECT_EQ(t.panel(1), "SMS transferred to the SMTP container.");
      EXPECT_EQ(arrived, czech);
    } else {
      EXPECT_EQ(t.panel(1), "message is longer than 70 characters");
      EXPECT_EQ(arrived, "");
      EXPECT_FALSE(QFile::exists(t.s.dir.filePath("Smtp.Tmp")));
    }
  }
}

TEST(SendSmsDialog, PlacementKeptOnHideAndRestoredOnShow) {
  Dialog t;
  t.d.move(40, 30);
  t.d.hide();
  const WindowPlacement p = t.s.gs().Placements["fSiSend"];
  EXPECT_TRUE(p.valid);
  t.d.move(300, 300);
  t.d.showDialog();
  EXPECT_EQ(t.d.pos(), QPoint(p.Left, p.Top));
}

TEST(AlarmWindow, ShowsTheTextOnTopAndClosingStopsTheBeep) {
  UiStation s("InSmsAlarmStr=SMS for the duty phone\n");
  ui::TfInSmsAlarm& alarm = s.windows->alarm();
  s.gs().AlarmBeep = true;
  s.gateway->hooks().cycle.showAlarmWindow();
  EXPECT_TRUE(alarm.isVisible());
  EXPECT_TRUE(alarm.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(alarm.windowTitle(), "Kolvane - Alarm");
  EXPECT_EQ(alarm.findChild<QLabel*>("LaAlarm")->text(), "SMS for the duty phone");
  alarm.close();
  EXPECT_FALSE(s.gs().AlarmBeep);
}
