#include <gtest/gtest.h>
#include <QCoreApplication>

#include "unit/qt_print.h"

#include "core/gateway_start.h"
#include "gsm/link_passes.h"
#include "support/link_test_gateway.h"

using namespace kolvane;

namespace {

// A gateway with an open relation on its scripted serial port and nothing in flight.
class LinkPassesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.started);
    BBt1Click(t.g(), StartSender::Button);
    ASSERT_TRUE(t.gs().RelationOn);
    t.link().KickOffDiscard = false;  // the kick-off has gone out
    t.shown();
  }
  void send(const QByteArray& command) {
    t.link().GsmSendStr = command;
    t.link().GsmSendOn = true;
  }
  LinkPasses& passes() { return t.g().passes(); }

  LinkTestGateway t;
};

TEST_F(LinkPassesTest, PartialWriteGoesOnWithTheRestAndHoldsEverythingElseMeanwhile) {
  t.device->acceptPlan = {3};
  send("AT+CPAS");
  passes().SendPass();
  EXPECT_EQ(t.device->writes, QList<QByteArray>{"AT+CPAS\r"});
  EXPECT_TRUE(t.link().SendBusy);

  // While the rest waits: no new write, no receive pass, no tick of the main cycle.
  t.device->incoming = "\r\nOK\r\n";
  send("AT+CSQ");
  const Tick tickBefore = t.gs().TickBegin;
  t.clock.advance(150);
  passes().SendPass();
  passes().RecvPass();
  t.g().TimerTimer();
  EXPECT_EQ(t.device->writes.size(), 1);
  EXPECT_EQ(t.device->incoming, "\r\nOK\r\n");
  EXPECT_EQ(t.gs().TickBegin, tickBefore);

  t.clock.advance(50);
  passes().SendPass();
  EXPECT_EQ(t.device->writes, (QList<QByteArray>{"AT+CPAS\r", "CPAS\r"}));
  EXPECT_EQ(t.device->accepted, "AT+CPAS\r");
  EXPECT_FALSE(t.link().SendBusy);
  EXPECT_EQ(t.link().NoAnswerCnt, 1);
  EXPECT_EQ(t.link().LastSendTick, t.clock.tick());

  // The request that waited goes out with the next pass.
  passes().SendPass();
  EXPECT_EQ(t.device->writes.last(), "AT+CSQ\r");
}

TEST_F(LinkPassesTest, SerialWriteFailureClosesThePortAndEndsTheRelation) {
  t.device->acceptPlan.assign(LinkPasses::kWriteAttempts, -1);
  send("AT");
  passes().SendPass();
  for (int i = 1; i < LinkPasses::kWriteAttempts; ++i) {
    t.clock.advance(200);
    passes().SendPass();
  }
  EXPECT_EQ(t.device->writes.size(), LinkPasses::kWriteAttempts);
  QStringList log = t.shown();
  EXPECT_EQ(log.count("Error sending via COM port"), 1);  // once per relation
  EXPECT_EQ(log.mid(log.size() - 3),
            (QStringList{"Error at sending from GSM \"SendBuf\"", "Error on send AT",
                         "/dev/ttyS0 prematurely disconnected"}));
  EXPECT_FALSE(t.device->open);
  EXPECT_FALSE(t.link().ComHandle);
  EXPECT_TRUE(t.link().LinkFailed);
  EXPECT_EQ(t.gs().Lamps.linkStage, 6);
  EXPECT_FALSE(t.gs().RelationOn);
  EXPECT_FALSE(t.link().SendBusy);
  passes().RecvPass();
  t.g().TimerTimer();
  EXPECT_TRUE(t.gs().RelationIdle);
  log = t.shown();
  EXPECT_TRUE(log.contains(QStringLiteral("Error sending via COM port - %1 times in this relation")
                               .arg(LinkPasses::kWriteAttempts)));

  // The next start opens the port again.
  BBt1Click(t.g(), StartSender::CycleTimer);
  EXPECT_EQ(t.opened.size(), 2);
  EXPECT_TRUE(t.link().comHandleValid());
  EXPECT_FALSE(t.link().LinkFailed);
}

TEST_F(LinkPassesTest, AWriteTakenOnlyInPiecesFailsAfterElevenAttempts) {
  t.device->acceptPlan.assign(LinkPasses::kWriteAttempts, 1);
  send("AT+CMGL=\"ALL\"");
  passes().SendPass();
  for (int i = 1; i < LinkPasses::kWriteAttempts + 3; ++i) {
    t.clock.advance(200);
    passes().SendPass();
  }
  EXPECT_EQ(t.device->accepted, "AT+CMGL=\"AL");
  EXPECT_TRUE(t.shown().contains("Error at sending from GSM \"SendBuf\""));
  EXPECT_FALSE(t.link().ComHandle);
}

TEST_F(LinkPassesTest, ReceivedBlockIsHandedOverByteByByteInArrivalOrder) {
  // A TCP gateway device: every byte reaches its receiver after it was appended.
  t.gs().cfg.GsmDevice = QStringLiteral("PRImaGate");
  t.link().ComHandle.reset();
  t.link().GtNetConnected = true;
  QList<QByteArray> seen;
  t.g().hooks().gateReceiver = [&] { seen << t.link().GsmRecvStr; };
  t.link().GtNetRecvBuf = "AB";
  t.link().GtNetRecvBuf += "C";
  t.clock.advance(250);
  passes().RecvPass();
  EXPECT_EQ(seen, (QList<QByteArray>{"A", "AB", "ABC"}));
  EXPECT_EQ(t.link().RecvByteCnt, 3);
  EXPECT_TRUE(t.link().GtNetRecvBuf.isEmpty());
  EXPECT_EQ(t.link().LastActTick, t.clock.tick());

  // Frames go out unchanged, without a line end.
  t.g().hooks().gateReceiver = nullptr;
  t.link().GateSendStr = "\x02frame\x03";
  t.link().GateSendOn = true;
  t.link().GtNetConnected = false;
  t.link().ComHandle = std::make_unique<ScriptedDevice>(t.device);
  passes().SendPass();
  EXPECT_EQ(t.device->writes.last(), "\x02frame\x03");
  EXPECT_TRUE(t.link().GateSendStr.isEmpty());
  EXPECT_EQ(t.link().NoAnswerCnt, 0);

  // The connection dropped after its last bytes came: they are read before the relation ends.
  t.g().hooks().gateReceiver = [&] { seen << t.link().GsmRecvStr; };
  t.link().ComHandle.reset();
  t.link().GtNetRecvBuf = "DE";
  passes().RecvPass();
  EXPECT_EQ(seen.mid(3), (QList<QByteArray>{"ABCD", "ABCDE"}));
  EXPECT_FALSE(t.gs().RelationOn);
}

TEST_F(LinkPassesTest, ReadErrorReadsNothingAndPassesReportStopOnlyWithoutRelation) {
  t.device->readError = true;
  t.device->incoming = "OK";
  passes().RecvPass();
  EXPECT_EQ(t.shown(), QStringList{"Error reading the state of communication"});
  EXPECT_TRUE(t.link().GsmRecvStr.isEmpty());
  EXPECT_FALSE(t.link().RecvStopOK);

  // Each pass skips while the other is busy.
  t.link().RecvBusy = true;
  send("AT");
  passes().SendPass();
  EXPECT_TRUE(t.link().GsmSendOn);
  t.link().RecvBusy = false;

  t.gs().RelationOn = false;
  passes().RecvPass();
  passes().SendPass();
  EXPECT_TRUE(t.link().RecvStopOK);
  EXPECT_TRUE(t.link().SendStopOK);
  EXPECT_TRUE(t.link().GsmSendOn);  // nothing is written without a relation
}

TEST(LinkPacing, AnswersCarryTheDialogueOnWithoutPassesAndInThePacedOrder) {
  // The same relation twice: paced by the passes in simulated time, and driven only by the
  // device's arrival signal with the clock standing still.
  LinkTestGateway paced;
  BBt1Click(paced.g(), StartSender::Button);
  paced.loop().runUntil([&] { return paced.gs().RelationIdle; }, 60000);
  const QList<QByteArray> expected = paced.device->writes;
  ASSERT_GE(expected.size(), 5);

  LinkTestGateway t;
  BBt1Click(t.g(), StartSender::Button);
  t.g().TimerTimer();  // the kick-off sets the first command, ESC goes before it
  QCoreApplication::processEvents();
  t.clock.advance(at::kQuietMs);  // the line is quiet after the ESC
  t.g().passes().SendPass();
  for (int i = 0; i < 2 * expected.size(); ++i) {
    t.g().passes().bytesArrived();
    QCoreApplication::processEvents();
  }
  const QList<QByteArray> writes = t.device->writes;
  ASSERT_GE(writes.size(), 5);
  EXPECT_EQ(writes, expected.mid(0, writes.size()));
}

}  // namespace
