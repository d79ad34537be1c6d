#include <gtest/gtest.h>
#include <QTcpServer>

#include "unit/qt_print.h"

#include "core/gateway_start.h"
#include "gsm/gt_net_client.h"
#include "mail/mail_listeners.h"
#include "support/link_test_gateway.h"

using namespace kolvane;

namespace {

using Field = GatewayHooks::SettingsField;

TEST(GatewayStart, StartOpensTheLinkAndBothListenersAndShowsStop) {
  LinkTestGateway t;
  ASSERT_TRUE(t.started);
  BBt1Click(t.g(), StartSender::Button);
  const GatewayState& gs = t.gs();
  EXPECT_EQ(gs.StartStopCaption, "Stop");
  EXPECT_EQ(gs.StartStopImage, 1);
  EXPECT_EQ(gs.Lamps.semaphore, 1);
  EXPECT_EQ(gs.Lamps.linkStage, 1);
  EXPECT_TRUE(gs.RelationOn);
  EXPECT_FALSE(gs.RelationIdle);
  EXPECT_TRUE(gs.KickOffPending);
  EXPECT_TRUE(gs.StoreMovePending);
  EXPECT_TRUE(t.link().FirstOkPending);
  EXPECT_FALSE(gs.LinkControlsEnabled);
  EXPECT_TRUE(gs.SmtpListen && gs.Pop3Listen);
  EXPECT_EQ(gs.Lamps.smtpBits & kLampListening, kLampListening);
  EXPECT_TRUE(t.g().listeners().smtpListening());
  EXPECT_EQ(gs.RelationBase, t.clock.tick());
  // The mail ports first: they listen whatever the device does.
  EXPECT_EQ(t.shown(),
            (QStringList{"SMTP server listens", "POP3 server listens", "/dev/ttyS0 connected"}));
  ASSERT_EQ(t.opened.size(), 1);
  EXPECT_EQ(t.opened[0].deviceName, "/dev/ttyS0");
  EXPECT_EQ(t.opened[0].baudRate, 9600);
  EXPECT_TRUE(t.opened[0].dtr);
  EXPECT_FALSE(t.opened[0].rts);
}

TEST(GatewayStart, DevicePathReplacesTheComNumber) {
  LinkTestGateway t("ComName=/dev/pts/7\nComNo=3\nBaudRate=115200\nRTSOn=1\n");
  BBt1Click(t.g(), StartSender::Button);
  ASSERT_EQ(t.opened.size(), 1);
  EXPECT_EQ(t.opened[0].deviceName, "/dev/pts/7");
  EXPECT_EQ(t.opened[0].baudRate, 115200);
  EXPECT_TRUE(t.opened[0].rts);
  EXPECT_EQ(t.shown(),
            (QStringList{"SMTP server listens", "POP3 server listens", "/dev/pts/7 connected"}));
}

TEST(GatewayStart, WithoutIntervalTheCaptionStaysStartAndAPressStartsAgain) {
  LinkTestGateway t("Interval=0\n");
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_EQ(t.gs().StartStopCaption, "Start");
  EXPECT_TRUE(t.gs().RelationOn);
  t.gs().KickOffPending = false;
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_TRUE(t.gs().KickOffPending);
  EXPECT_FALSE(t.gs().StopPending);
  EXPECT_EQ(t.opened.size(), 1);  // the open port is kept
}

TEST(GatewayStart, StopDuringARelationWaitsForItsEnd) {
  LinkTestGateway t;
  BBt1Click(t.g(), StartSender::Button);
  t.shown();
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_EQ(t.gs().StartStopCaption, "Wait");
  EXPECT_TRUE(t.gs().StopPending);
  EXPECT_TRUE(t.gs().UserStopped);
  EXPECT_EQ(t.gs().Lamps.semaphore, 0);
  EXPECT_EQ(t.shown(), QStringList{"Stop denied - it will be stopped after end of relation"});
  BBt1Click(t.g(), StartSender::Button);
  BBt1Click(t.g(), StartSender::CycleTimer);
  EXPECT_TRUE(t.shown().isEmpty());

  ASSERT_TRUE(t.loop().runUntil([&] { return t.gs().RelationIdle; }, 60000));
  EXPECT_EQ(t.gs().StartStopCaption, "Start");
  EXPECT_EQ(t.gs().StatusText, " Stopped");
  EXPECT_EQ(t.gs().RelationBase, 0u);
  EXPECT_FALSE(t.gs().StopPending);
  EXPECT_TRUE(t.gs().LinkControlsEnabled);
  EXPECT_TRUE(t.shown().contains("/dev/ttyS0 disconnected"));
}

TEST(GatewayStart, StopBetweenRelationsStopsAtOnceAndSendPhaseIgnoresPresses) {
  LinkTestGateway t;
  BBt1Click(t.g(), StartSender::Button);
  ASSERT_TRUE(t.loop().runUntil([&] { return t.gs().RelationIdle; }, 60000));
  EXPECT_EQ(t.gs().StartStopCaption, "Stop");

  t.gs().SendPhaseDue = true;
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_EQ(t.gs().StartStopCaption, "Stop");
  t.gs().SendPhaseDue = false;

  BBt1Click(t.g(), StartSender::Button);
  EXPECT_EQ(t.gs().StartStopCaption, "Start");
  EXPECT_EQ(t.gs().RelationBase, 0u);
  EXPECT_EQ(t.gs().Lamps.semaphore, 0);
}

TEST(GatewayStart, FailedOpenRunsTheHookTurnsOnRefreshAndExplainsACheckedStart) {
  LinkTestGateway t("Interval=60\nCmdOnConnectFailed=notify failed\nComName=/nonexistent/ttyGSM\n");
  t.deviceAvailable = false;
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_EQ(t.commands, QStringList{"notify failed"});
  EXPECT_TRUE(t.gs().RelationIdle);
  EXPECT_FALSE(t.gs().RelationOn);
  EXPECT_TRUE(t.gs().RefreshMode);
  EXPECT_EQ(t.gs().StartStopCaption, "Start");
  EXPECT_EQ(t.gs().Lamps.semaphore, 0);
  EXPECT_TRUE(t.gs().FirstStart);
  // Headless, the explanation is logged line by line; the device is named by its path.
  const QString failed = "Serial device /nonexistent/ttyGSM cannot be opened: missing";
  EXPECT_EQ(t.shown(), (QStringList{"SMTP server listens", "POP3 server listens", failed, failed,
                                    "Press \"Cancel\" and choose another \"GSM Port\" or",
                                    "try to change GSM Gate port parameters."}));
}

TEST(GatewayStart, ExplanationAnsweredOkOpensTheSettingsOnTheFailedPart) {
  LinkTestGateway t;
  t.deviceAvailable = false;
  QList<bool> asked;
  QList<Field> fields;
  t.g().hooks().askExplanation = [&](const QString&, bool okCancel) {
    asked << okCancel;
    return true;
  };
  t.g().hooks().openSettingsAt = [&](Field f) { fields << f; };
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_EQ(asked, QList<bool>{true});
  EXPECT_EQ(fields, QList<Field>{Field::ComPort});
}

TEST(GatewayStart, ATakenPortLeavesTheDeviceSideWorkingAndIsTriedEveryMinute) {
  QTcpServer occupant;
  ASSERT_TRUE(occupant.listen(QHostAddress::Any, 0));
  const QByteArray port = QByteArray::number(occupant.serverPort());
  LinkTestGateway t;
  t.gs().cfg.SmtpPort = occupant.serverPort();
  bool asked = false;
  t.g().hooks().askExplanation = [&](const QString&, bool) { return asked = true; };
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_FALSE(asked) << "a checked start goes on without the port";
  EXPECT_TRUE(t.gs().RelationOn);
  EXPECT_FALSE(t.gs().SmtpListen);
  EXPECT_TRUE(t.gs().Pop3Listen);
  EXPECT_EQ(t.gs().Lamps.smtpBits & kLampListening, 0);
  const QString line = "SMTP server cannot listen on port " + port +
                       ": address in use; it is tried again every minute";
  EXPECT_TRUE(t.shown().contains(line));
  // The relation kicks off without the port.
  t.g().TimerTimer();
  EXPECT_FALSE(t.gs().KickOffPending);
  // Still taken a minute later: tried, not logged again; free, it listens at the next try.
  t.loop().run(61000);
  EXPECT_FALSE(t.shown().contains(line));
  EXPECT_FALSE(t.gs().SmtpListen);
  occupant.close();
  t.loop().run(61000);
  EXPECT_TRUE(t.gs().SmtpListen);
  EXPECT_TRUE(t.shown().contains("SMTP server listens"));
  EXPECT_EQ(t.gs().ListenRetryAt, 0u);
}

TEST(GatewayStart, APortOutsideItsRangeIsAFailedListen) {
  for (const int port : {0, -1, 65536}) {
    LinkTestGateway t;
    t.gs().cfg.Pop3Port = port;
    BBt1Click(t.g(), StartSender::Button);
    EXPECT_TRUE(t.gs().SmtpListen) << port;
    EXPECT_FALSE(t.gs().Pop3Listen) << port;
    EXPECT_TRUE(t.shown().contains(QString("POP3 server cannot listen on port %1: no valid port "
                                           "number; it is tried again every minute")
                                       .arg(port)))
        << port;
  }
}

TEST(GatewayStart, RecoveryModeLogsTheExplanationInsteadOfAsking) {
  LinkTestGateway t("RecoveryStartIncMin=5\n");
  t.deviceAvailable = false;
  bool asked = false;
  t.g().hooks().askExplanation = [&](const QString&, bool) { return asked = true; };
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_FALSE(asked);
  const QStringList log = t.shown();
  EXPECT_TRUE(log.contains("!!! RelationStop !!! - RecoveryMode"));
  EXPECT_TRUE(log.last().startsWith("!!! Warning !!! Serial device /dev/ttyS0 cannot be opened"));
}

TEST(GatewayStart, RefusedTcpGatewayIsAskedTwiceMoreFiveSecondsApart) {
  LinkTestGateway t("ComTcp=1\n");
  BBt1Click(t.g(), StartSender::Button);
  QList<Tick> attempts;
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(t.gs().StartWaitOn);
    attempts << t.clock.tick();
    // The cycle holds off while the start waits.
    const Tick before = t.gs().TickBegin;
    t.g().TimerTimer();
    EXPECT_EQ(t.gs().TickBegin, before);
    if (!t.link().GtNetError) t.g().gtNet().sckGtNETcliError(10061);
    t.loop().run(200);
    EXPECT_FALSE(t.gs().StartWaitOn);
    if (attempt < 2) {
      ASSERT_TRUE(t.loop().runUntil([&] { return t.gs().StartWaitOn; }, 10000));
    }
  }
  EXPECT_FALSE(t.gs().StartWaitOn);
  EXPECT_GE(attempts[1] - attempts[0], 5000u);
  EXPECT_LE(attempts[1] - attempts[0], 5500u);
  EXPECT_GE(attempts[2] - attempts[1], 5000u);
  EXPECT_LE(attempts[2] - attempts[1], 5500u);
  const QStringList log = t.shown();
  EXPECT_EQ(log.count("Error 10061 on TCP port GSM Gate"), 3);
  EXPECT_EQ(log.count("Connection to GSM Gate through TCP-IP failed."), 1);
  EXPECT_EQ(t.gs().TcpRetryCount, 0);
  EXPECT_TRUE(t.gs().RelationIdle);
}

TEST(GatewayStart, RefusedTcpGatewayWithoutScheduleFailsAtOnce) {
  LinkTestGateway t("ComTcp=1\nInterval=0\n");
  BBt1Click(t.g(), StartSender::CycleTimer);
  if (!t.link().GtNetError) t.g().gtNet().sckGtNETcliError(10061);
  t.g().gtNet().pollConnectWait();
  EXPECT_FALSE(t.gs().StartWaitOn);
  EXPECT_TRUE(t.shown().contains("Connection to GSM Gate through TCP-IP failed."));
  EXPECT_TRUE(t.gs().RelationIdle);
}

TEST(GatewayStart, StopPressedWhileTheGatewayIsAwaitedStopsWhenTheOpenFails) {
  LinkTestGateway t("ComTcp=1\n");
  BBt1Click(t.g(), StartSender::Button);
  BBt1Click(t.g(), StartSender::Button);
  EXPECT_EQ(t.gs().StartStopCaption, "Wait");
  t.g().gtNet().sckGtNETcliError(10060);
  t.g().gtNet().pollConnectWait();
  EXPECT_FALSE(t.gs().StopPending);
  EXPECT_EQ(t.gs().StartStopCaption, "Start");
  EXPECT_EQ(t.gs().RelationBase, 0u);
}

TEST(GatewayStart, RecoveryRestartsASilentGatewayUnlessTheUserStoppedIt) {
  LinkTestGateway t("RecoveryStartIncMin=5\n");
  BBt1Click(t.g(), StartSender::Button);
  t.gs().RelationOn = false;
  t.gs().RelationIdle = true;
  t.gs().RecoveryAt = t.clock.now() + 5 / 1440.0;
  t.shown();

  t.clock.advance(4 * 60000);
  TmrAlarmTimer(t.g());
  EXPECT_TRUE(t.shown().isEmpty());

  t.clock.advance(60000 + 10000);
  TmrAlarmTimer(t.g());
  const QStringList log = t.shown();
  ASSERT_FALSE(log.isEmpty());
  EXPECT_EQ(log.first(), ">>> !!! --- recovery auto-start --- !!! <<<");
  EXPECT_TRUE(t.gs().RelationOn);
  EXPECT_NEAR(t.gs().RecoveryAt, t.clock.now() + 5 / 1440.0, 1e-9);

  t.gs().UserStopped = true;
  t.gs().RelationOn = false;
  t.clock.advance(6 * 60000);
  TmrAlarmTimer(t.g());
  EXPECT_TRUE(t.shown().isEmpty());
  EXPECT_FALSE(t.gs().RelationOn);
}

}  // namespace
