#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include "core/gateway_start.h"
#include "gsm/at_automaton.h"
#include "gsm/link_passes.h"
#include "support/link_test_gateway.h"

using namespace kolvane;

namespace {

bool relationIdle(LinkTestGateway& t) {
  return t.gs().RelationIdle;
}

TEST(MainCycle, StartGoStartsOnceAndTheCountdownRunsBetweenRelations) {
  LinkTestGateway t("StartGo=1\n");
  t.gs().StartupDue = true;
  t.loop().run(100);
  EXPECT_EQ(t.opened.size(), 1);
  const Tick firstStart = t.gs().RelationBase;
  t.loop().run(100);
  EXPECT_EQ(t.gs().StatusText, "Time to start 4:59");
  t.loop().run(1000);
  EXPECT_EQ(t.gs().StatusText, "Time to start 4:58");
  EXPECT_EQ(t.gs().StatusShown, t.gs().StatusText);

  // The first relation: kick-off, initialisation, listing, no mail, idle end.
  ASSERT_TRUE(t.loop().runUntil([&] { return relationIdle(t); }, 60000));
  const QStringList log = t.shown();
  EXPECT_TRUE(log.contains("GSM gateway connected"));
  EXPECT_TRUE(log.contains("SMTP server no mails to send for GSM gateway"));
  EXPECT_EQ(log.last(), "/dev/ttyS0 disconnected");
  EXPECT_EQ(t.device->rts, false);
  EXPECT_EQ(t.device->dtr, false);
  EXPECT_FALSE(t.device->open);
  EXPECT_EQ(t.gs().Lamps.linkStage, 0);
  EXPECT_EQ(t.gs().StartStopCaption, "Stop");

  // The next relation starts when the interval is up, not before.
  t.loop().runUntil([&] { return t.opened.size() == 2; }, 300000);
  EXPECT_EQ(t.opened.size(), 2);
  EXPECT_GE(t.clock.tick() - firstStart, 300000u);
  EXPECT_LE(t.clock.tick() - firstStart, 300300u);
}

TEST(MainCycle, RelationEndsGsmTimeoutAndASecondAfterItsLastActivity) {
  LinkTestGateway t("Interval=0\n");
  BBt1Click(t.g(), StartSender::Button);
  Tick lastNoMail = 0;
  Tick disconnected = 0;
  t.g().log().setEchoSink([&](const QString& line) {
    if (line.endsWith("SMTP server no mails to send for GSM gateway")) lastNoMail = t.clock.tick();
    if (line.endsWith("/dev/ttyS0 disconnected")) disconnected = t.clock.tick();
  });
  ASSERT_TRUE(t.loop().runUntil([&] { return relationIdle(t); }, 60000));
  ASSERT_NE(lastNoMail, 0u);
  // The send phase keeps the relation for GsmTimeout past its start, then GsmTimeout + 1000.
  EXPECT_GE(disconnected - lastNoMail, t.link().GsmTimeout + 1000);
  EXPECT_LE(disconnected - lastNoMail, 2 * t.link().GsmTimeout + 1000 + 300);
  // Without a schedule the relation's end stops the gateway.
  EXPECT_EQ(t.gs().StatusText, " Stopped");
  EXPECT_EQ(t.gs().StartStopCaption, "Start");
  EXPECT_FALSE(t.gs().SendPhaseOn);
}

TEST(MainCycle, LogLinesAreNoActivityOfTheRelation) {
  // A line every 50 ms, as mail programs polling the servers with Debug on would log them.
  LinkTestGateway t("Interval=0\nDebug=1\n");
  BBt1Click(t.g(), StartSender::Button);
  Tick lastNoMail = 0;
  Tick disconnected = 0;
  t.g().log().setEchoSink([&](const QString& line) {
    if (line.endsWith("SMTP server no mails to send for GSM gateway")) lastNoMail = t.clock.tick();
    if (line.endsWith("/dev/ttyS0 disconnected")) disconnected = t.clock.tick();
  });
  for (int ms = 0; ms < 60000 && !relationIdle(t); ms += 50) {
    t.g().Log(true, QStringLiteral("POP3 DATA<-|STAT|"));
    t.loop().run(50);
  }
  ASSERT_TRUE(relationIdle(t));
  ASSERT_NE(lastNoMail, 0u);
  EXPECT_LE(disconnected - lastNoMail, 2 * t.link().GsmTimeout + 1000 + 300);
}

TEST(MainCycle, OnLineStartsARelationEveryIntervalOnLine) {
  // Debug shows each opening, which the log otherwise tells once an hour.
  LinkTestGateway t("OnLine=1\nSmsIndication=0\nIntervalOnLine=20000\nDebug=1\n");
  BBt1Click(t.g(), StartSender::Button);
  QList<Tick> connects;
  t.g().log().setEchoSink([&](const QString& line) {
    if (line.endsWith("/dev/ttyS0 connected")) connects << t.clock.tick();
  });
  t.loop().run(61000);
  ASSERT_EQ(connects.size(), 3);
  for (int i = 1; i < connects.size(); ++i) {
    EXPECT_GE(connects[i] - connects[i - 1], 20000u);
    EXPECT_LE(connects[i] - connects[i - 1], 20200u);
  }
}

TEST(MainCycle, RefreshModeRetriesAFailedOpenEveryRefrPer) {
  LinkTestGateway t("Interval=60\n");
  t.deviceAvailable = false;
  BBt1Click(t.g(), StartSender::CycleTimer);
  ASSERT_TRUE(t.gs().RefreshMode);
  t.loop().run(200);
  EXPECT_EQ(t.gs().StatusText, "Time to start 9:59 (59:59)");
  t.loop().runUntil([&] { return t.opened.size() == 2; }, 700000);
  EXPECT_EQ(t.opened.size(), 2);
  EXPECT_NEAR(double(t.clock.tick() - 100000), 600000.0, 300.0);
  t.loop().run(200);
  EXPECT_EQ(t.gs().StatusText, "Time to start 9:59 (49:59)");
}

TEST(MainCycle, EndCloseClosesTheProgramThreeSecondsAfterTheRelation) {
  LinkTestGateway t("EndClose=1\nInterval=0\n");
  Tick closeAsked = 0;
  Tick disconnected = 0;
  t.g().hooks().cycle.closeMainWindow = [&] {
    if (closeAsked == 0) closeAsked = t.clock.tick();
  };
  t.g().log().setEchoSink([&](const QString& line) {
    if (line.endsWith("/dev/ttyS0 disconnected")) disconnected = t.clock.tick();
  });
  BBt1Click(t.g(), StartSender::Button);
  ASSERT_TRUE(t.loop().runUntil([&] { return closeAsked != 0; }, 60000));
  EXPECT_GE(closeAsked - disconnected, 3000u);
  EXPECT_LE(closeAsked - disconnected, 3200u);
}

TEST(MainCycle, GuardKeepsTheTickOutWhileAPassIsBusyOrAStartWaits) {
  LinkTestGateway t;
  t.g().Log(true, QStringLiteral("pending"));
  const qsizetype memoLines = t.g().memo().lineCount();
  for (bool LinkState::*busy : {&LinkState::RecvBusy, &LinkState::SendBusy}) {
    t.link().*busy = true;
    t.g().TimerTimer();
    t.link().*busy = false;
  }
  for (bool GatewayState::*flag : {&GatewayState::Run, &GatewayState::StartWaitOn}) {
    t.gs().*flag = true;
    t.g().TimerTimer();
    t.gs().*flag = false;
  }
  EXPECT_EQ(t.g().memo().lineCount(), memoLines);
  t.g().TimerTimer();
  EXPECT_GT(t.g().memo().lineCount(), memoLines);
  EXPECT_EQ(t.g().log().pendingCount(), 0u);
  EXPECT_FALSE(t.gs().Run);
}

TEST(MainCycle, BytesAboveAsciiRestartUntilTheLimitThenTheRelationEnds) {
  LinkTestGateway t("Interval=0\nDebug=1\n");
  // Only once the kick-off has been answered; noise before it is no line error.
  t.answer = [](const QByteArray& line) {
    return line == "AT" ? QByteArray("\r\nOK\r\n") : QByteArray("\xFF");
  };
  BBt1Click(t.g(), StartSender::Button);
  ASSERT_TRUE(t.loop().runUntil([&] { return relationIdle(t); }, 60000));
  const QStringList log = t.shown();
  EXPECT_EQ(log.count("Error at communication on COM port (Char No. 255)"), RestartLimit);
  EXPECT_EQ(log.count("Communication on COM port terminated for many errors"), 1);
  EXPECT_EQ(log.count("/dev/ttyS0 connected"), RestartLimit);
  EXPECT_TRUE(log.contains("/dev/ttyS0 disconnected"));
}

TEST(MainCycle, ListedSmsStayInTheDeviceWhileNothingDispatchesThem) {
  LinkTestGateway t("Interval=0\nMemCheOn=0\n");
  t.g().hooks().cycle.dispatchReceivedSms = nullptr;
  t.answer = [](const QByteArray& line) -> QByteArray {
    if (line == "AT+CMGL=\"ALL\"")
      return "\r\n+CMGL: 3,\"REC UNREAD\",\"+420777111222\",,\"26/12/09,10:00:00+04\",145,5"
             "\r\nHello\r\n\r\nOK\r\n";
    return okModem(line);
  };
  BBt1Click(t.g(), StartSender::Button);
  ASSERT_TRUE(t.loop().runUntil([&] { return relationIdle(t); }, 60000));
  EXPECT_FALSE(t.device->accepted.contains("AT+CMGD"));
  EXPECT_TRUE(t.link().SmsRecvArr.isEmpty());
  EXPECT_TRUE(t.shown().contains("SMTP server no mails to send for GSM gateway"));

  // With a dispatcher the delete phase follows the listing.
  LinkTestGateway d("Interval=0\nMemCheOn=0\n");
  d.answer = t.answer;
  d.g().hooks().cycle.dispatchReceivedSms = [&] { GsmAutomat(d.g(), AtState::Delete); };
  BBt1Click(d.g(), StartSender::Button);
  ASSERT_TRUE(d.loop().runUntil([&] { return relationIdle(d); }, 60000));
  EXPECT_TRUE(d.device->accepted.contains("AT+CMGD=3\r"));
}

}  // namespace
