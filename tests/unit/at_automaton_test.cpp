#include <gtest/gtest.h>

#include "unit/at_test_gateway.h"
#include "unit/qt_print.h"

#include "gsm/send_failure.h"
#include "gsm/sms_list_reader.h"

namespace kolvane {
namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kError = "\r\nERROR\r\n";

const QByteArray kTextListing =
    "\r\n+CMGL: 1,\"REC UNREAD\",\"+420777111222\",,\"24/05/01,10:20:30+08\",145,11\r\n"
    "Hello there\r\n"
    "+CMGL: 2,\"REC READ\",\"+420777333444\",,\"24/05/01,10:21:00+08\",145,6\r\n"
    "010C00610075\r\n";

// A modem with two SMS in its SIM storage that answers every command.
QByteArray Modem(const QByteArray& command, const QByteArray& listing = kTextListing) {
  if (command == "AT+CPAS") return "\r\n+CPAS: 0\r\n" + kOk;
  if (command == "AT+CSCA?") return "\r\n+CSCA: \"+420600000100\",145\r\n" + kOk;
  if (command == "AT+CSQ") return "\r\n+CSQ: 20,99\r\n" + kOk;
  if (command.startsWith("AT+CMGL=")) return listing + kOk;
  return kOk;
}

class AtAutomaton : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(t.started); }

  // The relation start as the start path leaves it, on a connection of its own.
  void startRelation() {
    t.link().FirstOkPending = true;
    at::ConnectionOpened(t.link());
    KickOffAT(t.g());
  }

  // A text job written up to its body, the result awaited.
  void sendJob() {
    t.gs().JobTelNo = "+420777111222";
    t.gs().JobText = "Hi there";
    GsmAutomat(t.g(), AtState::SendJob);
    ASSERT_EQ(t.takeCommand(), "AT+CMGS=\"+420777111222\"");
    EXPECT_EQ(t.gs().Lamps.linkStage, 5);
    t.feed("\r\n> ");
    ASSERT_TRUE(t.takeCommand());
    ASSERT_TRUE(t.link().WaitResult);
  }

  AtTestGateway t;
};

TEST_F(AtAutomaton, TextModeRelationReadsTheSimAndSkipsTheServiceCentreNextTime) {
  t.gs().RefreshMode = true;
  startRelation();
  EXPECT_EQ(t.link().GsmTimeout, 1000u);
  const QList<QByteArray> first = t.converse([](const QByteArray& c) { return Modem(c); });
  EXPECT_EQ(first,
            (QList<QByteArray>{"AT", "AT+CMEE=1", "AT+CPIN?", "AT+CREG?", "AT+CSCS=\"GSM\"",
                               "AT+CSMP=17,167,0,0", "AT+CPAS", "ATE0", "AT+CSCA?", "AT+CMGF=1",
                               "AT+CSDH=1", "AT+CSQ", "AT+CPMS=\"SM\"", "AT+CMGL=\"ALL\""}));
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_EQ(t.gs().Lamps.linkStage, 3);
  ReadSmsList(t.g());
  EXPECT_EQ(t.logs(), (QStringList{"GSM gateway connected", "SMS operator No. \"+420600000100\"",
                                   "GSM text SMS mode set on", "GSM signal quality: 68%",
                                   "GSM gateway received 2 SMS to SIM"}));
  EXPECT_EQ(t.link().SmscNo, "+420600000100");
  EXPECT_FALSE(t.gs().RefreshMode);
  EXPECT_EQ(t.link().ListTick, 0u);
  ASSERT_EQ(t.link().SmsRecvArr.size(), 2);
  EXPECT_EQ(t.link().SmsRecvArr[1].Text, "=C4=8Cau");

  // The delete phase removes both by their storage index.
  GsmAutomat(t.g(), AtState::Delete);
  EXPECT_EQ(t.converse([](const QByteArray& c) { return Modem(c); }),
            (QList<QByteArray>{"AT+CMGD=1", "AT+CMGD=2"}));
  EXPECT_EQ(t.link().DelPos, 2);

  FreeSMSArr(t.link());
  t.link().ListDone = false;
  startRelation();
  const QList<QByteArray> second = t.converse([](const QByteArray& c) { return Modem(c, {}); });
  EXPECT_FALSE(second.contains("AT+CSCA?"));
  EXPECT_EQ(second.size(), 13);
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_TRUE(t.link().SmsRecvArr.isEmpty());
}

TEST_F(AtAutomaton, PduModeRelationHasNoHeaderDisplayAndListsByNumber) {
  t.gs().cfg.PDUText = false;
  t.gs().cfg.MemCheOn = false;
  startRelation();
  EXPECT_EQ(t.converse([](const QByteArray& c) { return Modem(c, {}); }),
            (QList<QByteArray>{"AT", "AT+CMEE=1", "AT+CPIN?", "AT+CREG?", "AT+CSCS=\"GSM\"",
                               "AT+CSMP=17,167,0,0", "AT+CPAS", "ATE0", "AT+CSCA?", "AT+CMGF=0",
                               "AT+CSQ", "AT+CMGL=4"}));
  EXPECT_TRUE(t.logs().contains("GSM PDU SMS mode set on"));
}

TEST_F(AtAutomaton, EchoedCommandsAndAFailedEchoOffAreTolerated) {
  startRelation();
  auto echoing = [](const QByteArray& c) {
    return c + "\r" + (c == "ATE0" ? kError : Modem(c, {}));
  };
  t.converse(echoing);
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_TRUE(t.logs().contains("GSM echo off failed"));
  EXPECT_TRUE(t.gs().cfg.EchoSkip);
  EXPECT_EQ(t.link().ErrCnt, 0);

  startRelation();
  EXPECT_FALSE(t.converse(echoing).contains("ATE0"));

  // An echo alone is no answer: the watchdog still waits for it.
  t.link().GsmSendStr = "AT+CSQ";
  t.link().NoAnswerCnt = 2;
  t.line("AT+CSQ");
  EXPECT_EQ(t.link().NoAnswerCnt, 2);
  EXPECT_FALSE(t.link().GsmSendOn);
}

TEST_F(AtAutomaton, SilentModemIsWrittenThreeTimesThenDeclaredInactive) {
  QStringList hooks;
  t.g().hooks().runHookCommand = [&](const QString& c) { hooks << c; };
  t.gs().cfg.CmdOnConnectFailed = "notify.sh down";
  t.gs().TestStart = true;
  startRelation();
  int writes = 0;
  for (int pass = 0; pass < 20; ++pass) {
    if (t.takeCommand()) ++writes;
    t.clock.advance(250);
    AnswerWatch(t.g(), t.clock.tick());
  }
  EXPECT_EQ(writes, 3);
  EXPECT_EQ(t.logs(), QStringList{"GSM gateway inactive"});
  EXPECT_EQ(hooks, QStringList{"notify.sh down"});
  EXPECT_EQ(t.gs().TestStartErr, 3);
}

TEST_F(AtAutomaton, BusyModemEndsTheInitialisationAndIsReportedAtTheTimeOut) {
  t.gs().TestStart = true;
  startRelation();
  const QList<QByteArray> commands = t.converse([](const QByteArray& c) -> QByteArray {
    return c == "AT+CPAS" ? "\r\n+CPAS: 3\r\n" + kOk : Modem(c);
  });
  EXPECT_EQ(commands.last(), "AT+CPAS");
  EXPECT_TRUE(t.link().GsmSendStr.isEmpty());
  const Tick sent = t.link().LastSendTick;
  t.clock.setTick(sent + 2000);
  AnswerWatch(t.g(), t.clock.tick());
  t.clock.setTick(sent + 2001);
  AnswerWatch(t.g(), t.clock.tick());
  EXPECT_EQ(t.logs(), (QStringList{"GSM gateway connected", "GSM status: 3", "GSM gateway busy"}));
  EXPECT_EQ(t.gs().TestStartErr, 5);  // it had answered
}

TEST_F(AtAutomaton, BytesAboveAsciiAskForARestart) {
  t.link().GsmSendStr = "AT";
  t.feed("\r\nO\xC3");
  EXPECT_EQ(t.logs(), QStringList{"Error at communication on COM port (Char No. 195)"});
  EXPECT_EQ(t.link().ComErrCnt, 1);
  EXPECT_TRUE(t.gs().RestartWanted);
  t.feed("K\r\n");  // the rest of the broken line is no "OK"
  EXPECT_FALSE(t.link().GsmSendOn);
}

TEST_F(AtAutomaton, ANoisyLineIsLoggedOncePerRelationWithACount) {
  t.link().GsmSendStr = "AT";
  t.feed(QByteArray(300, '\xFF'));
  EXPECT_EQ(t.logs(), QStringList{"Error at communication on COM port (Char No. 255)"});
  EXPECT_EQ(t.link().Faults.takeSummary(),
            QStringList{"Error at communication on COM port (Char No. >127) - 300 times in this "
                        "relation"});
  t.feed("\xFF");  // a new relation logs it again
  EXPECT_EQ(t.logs().size(), 1);
}

TEST_F(AtAutomaton, WatchdogTimesOutAcrossTheTickWrapAndNotWhileAnAnswerArrives) {
  constexpr Tick w = 0xFFFFFFFFu;
  struct Case {
    Tick sent, lastBytes, now;
    bool repeated;
  };
  const Case cases[] = {
      {w - 1000, w - 1000, 999, false},  // exactly the time-out, across the wrap
      {w - 1000, w - 1000, 1000, true},
      {w - 3000, w - 3000, 5, true},  // due before the wrap, noticed after it
      {w - 500, w - 500, w - 100, false},
      {w - 1000, 500, 1000, false},  // the answer is still coming in
      {w - 1000, 500, 2501, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.now);
    t.link().GsmSendStr = "AT+CMGL=\"ALL\"";
    t.link().GsmSendOn = false;
    t.link().GsmTimeout = 2000;
    t.link().NoAnswerCnt = 1;
    t.link().LastSendTick = c.sent;
    t.link().AnswerActTick = c.lastBytes;
    AnswerWatch(t.g(), c.now);
    EXPECT_EQ(t.link().GsmSendOn, c.repeated);
  }
}

TEST_F(AtAutomaton, InformationLines) {
  struct Case {
    QByteArray line, number;
  };
  for (const Case& c : {
           Case{"+CSCA: \"00420600000100\",129", "00420600000100"},
           Case{"+CSCA: \"420600000100\",129", "+420600000100"},
           Case{"+CSCA: \"002B003400320030003600300033\",145", "+420603"},
           Case{"+CSCA: \"1234\",129", {}},
           Case{"+CSCA: \"+420600000100", {}},
       }) {
    t.link().SmscNo = "unchanged";
    t.link().GsmSendStr = "AT+CSCA?";
    t.line(c.line);
    EXPECT_EQ(t.link().SmscNo, c.number.isEmpty() ? "unchanged" : c.number) << c.line.data();
    if (c.number.isEmpty()) {
      EXPECT_EQ(t.link().NoAnswerCnt, 100);
    }
  }
  EXPECT_EQ(t.logs().filter("failed").size(), 2);

  t.link().GsmSendStr = "AT+CSQ";
  for (const char* l : {"+CSQ: 99,99", "+CSQ: 31,0", "+CSQ: 3,0", "+CSQ: 15,0", "+CSQ: x"})
    t.line(l);
  EXPECT_EQ(t.logs(), (QStringList{"GSM signal quality: 0%", "GSM signal quality: 100%",
                                   "GSM signal quality: 8%", "GSM signal quality: 48%",
                                   "GSM signal quality: 0%"}));
}

TEST_F(AtAutomaton, ErrorsOutsideTheSendPhase) {
  t.gs().cfg.Debug = true;
  t.link().GsmSendStr = "AT+XYZ";
  t.line("OK");  // answers nothing the automaton knows
  EXPECT_TRUE(t.logs().contains("GSM automat - unexpected state \"InComSendNo\" : -1"));
  EXPECT_FALSE(t.link().GsmSendOn);
  t.gs().cfg.Debug = false;

  t.link().GsmSendStr = "AT+CMGF=1";
  t.line("ERROR");
  EXPECT_EQ(t.logs(), (QStringList{"GSM text SMS mode unsupported", "Switch to the PDU mode"}));
  EXPECT_TRUE(t.link().GsmSendStr.isEmpty());
  EXPECT_FALSE(t.link().GsmSendOn);

  t.link().GsmSendStr = "AT+CSQ";
  t.line("+CMS ERROR: 302");
  EXPECT_EQ(t.link().ErrCnt, 1);
  t.link().GsmSendStr = "AT+CSQ";
  t.line("+CMS: 1,\"ERRATA\"");  // "ERR" further on is no error
  EXPECT_EQ(t.link().ErrCnt, 1);

  // A failing phone storage is given up and the send phase follows.
  t.link().MemIdx = 1;
  t.link().GsmSendStr = "AT+CPMS=\"ME\"";
  t.line("+CMS ERROR: 310");
  EXPECT_FALSE(t.link().PhoneMemOn);
  EXPECT_EQ(t.link().MemIdx, 0);
  EXPECT_FALSE(t.link().GsmSendOn);
  EXPECT_EQ(t.gs().SendPhaseAt, t.clock.tick() + 1000);
}

// A delete goes only to an index a header listed, and to each once.
TEST_F(AtAutomaton, DeletePhaseAdvancesOverErrorsAndUnknownPositions) {
  GsmAutomat(t.g(), AtState::Delete);
  EXPECT_FALSE(t.takeCommand());  // nothing listed
  t.link().SmsRecvArr.resize(4);
  for (const int i : {0, 1, 2, 3}) t.link().SmsRecvArr[i].MemPos = QList{4, -1, 9, 4}[i];
  GsmAutomat(t.g(), AtState::Delete);
  EXPECT_EQ(t.converse([](const QByteArray& c) { return c.endsWith('4') ? kError : kOk; }),
            (QList<QByteArray>{"AT+CMGD=4", "AT+CMGD=9"}));
  EXPECT_EQ(t.link().DelPos, 4);
  t.link().SmsRecvArr.resize(2);
  t.link().SmsRecvArr[1].MemPos = 9;
  EXPECT_EQ(t.link().ErrCnt, 1);

  // Messages kept in the device: a harmless exchange per entry keeps the phase moving.
  t.gs().cfg.SMSDeleteOff = true;
  t.logs();
  GsmAutomat(t.g(), AtState::Delete);
  EXPECT_EQ(t.converse([](const QByteArray& c) { return c == "AT" ? kOk : kError; }),
            (QList<QByteArray>{"AT", "AT"}));
  EXPECT_EQ(t.logs(), (QStringList{"SMSDeleteOff Pos:4", "SMSDeleteOff Pos:9"}));
  EXPECT_EQ(t.link().DelPos, 2);
  EXPECT_EQ(t.link().AutPhase, 0);  // not taken for the kick-off's "AT"
}

TEST_F(AtAutomaton, TextJobIsSentAfterThePromptAndCountedAtOk) {
  sendJob();
  EXPECT_EQ(t.link().GsmSendStr, "Hi there\x1A");
  t.feed("\r\n+CMGS: 12\r\n" + kOk);
  EXPECT_TRUE(t.link().SmsSendDone);
  EXPECT_FALSE(t.link().GsmSendOn);
  EXPECT_EQ(t.gs().cfg.SmsOutCnt, 1);
  EXPECT_TRUE(t.gs().CountersChanged);
  EXPECT_EQ(t.gs().Lamps.linkStage, 2);
  EXPECT_EQ(t.logs(), QStringList{"GSM gateway dispatched SMS to +420777111222"});

  sendJob();
  t.line("OK");  // no "+CMGS" line: sent all the same
  EXPECT_TRUE(t.link().SmsSendDone);

  // An echo that stays on repeats the command and types the body back after the prompt, even a
  // line of it that reads "OK"; the result comes after it.
  t.link().SmsSendDone = false;
  t.gs().JobText = "Hi\nOK";
  GsmAutomat(t.g(), AtState::SendJob);
  t.takeCommand();
  t.feed("AT+CMGS=\"+420777111222\"\r\r\n> ");
  EXPECT_EQ(t.takeCommand(), "Hi\nOK\x1A");
  t.feed("Hi\nOK\r\n+CMGS: 13\r\n");
  EXPECT_FALSE(t.link().SmsSendDone);
  t.feed(kOk);
  EXPECT_TRUE(t.link().SmsSendDone);
}

// Optional commands a modem says it does not support are left out for the rest of the
// connection, each with one line; the relation goes on as after their "OK".
TEST_F(AtAutomaton, OptionalCommandsTheModemDoesNotSupportAreLeftOut) {
  auto stick = [](const QByteArray& c) -> QByteArray {
    if (c == "AT+CSDH=1") return "\r\nCOMMAND NOT SUPPORT\r\n";
    if (c == "AT+CPAS") return "\r\n+CME ERROR: 4\r\n";
    if (c == "AT+CSQ") return "\r\n+CMS ERROR: 303\r\n";
    return Modem(c, {});
  };
  startRelation();
  EXPECT_EQ(t.converse(stick).size(), 14);
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_EQ(t.logs().filter("not supported by the modem; it is left out"),
            (QStringList{"GSM command AT+CPAS not supported by the modem; it is left out",
                         "GSM command AT+CSDH=1 not supported by the modem; it is left out",
                         "GSM command AT+CSQ not supported by the modem; it is left out"}));
  EXPECT_EQ(t.link().ErrCnt, 0);

  // The connection's next round asks neither them nor for numeric errors again; a new
  // connection asks all.
  t.link().ListDone = false;
  KickOffAT(t.g());
  EXPECT_EQ(t.converse(stick), (QList<QByteArray>{"AT", "AT+CPIN?", "AT+CREG?", "AT+CSCS=\"GSM\"",
                                                  "AT+CSMP=17,167,0,0", "ATE0", "AT+CMGF=1",
                                                  "AT+CPMS=\"SM\"", "AT+CMGL=\"ALL\""}));
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_TRUE(t.logs().filter("left out").isEmpty());
  startRelation();
  EXPECT_EQ(t.converse(stick).size(), 13);
}

// A listed body reads as anything, even a final result or a code; the listing ends at its own
// "OK", and the echo of the list command is no entry.
TEST_F(AtAutomaton, ListedBodiesReadAsAnything) {
  t.gs().cfg.MemCheOn = false;
  GsmAutomat(t.g(), AtState::List);
  t.takeCommand();
  const QByteArray header = ",\"REC UNREAD\",\"+420777111222\",,\"24/05/01,10:20:30+08\",145,";
  t.feed("AT+CMGL=\"ALL\"\r\r\n+CMGL: 1" + header + "2\r\nOK\r\n+CMGL: 2" + header +
         "13\r\n+CMTI: \"SM\",3\r\n\r\n");
  EXPECT_FALSE(t.link().ListDone);
  t.feed("+CMGL: 3" + header + "4\r\nRING\r\n\r\nOK\r\n");
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_TRUE(t.link().SmsAnnounced);  // a text, or a code: one listing more tells
  ReadSmsList(t.g());
  ASSERT_EQ(t.link().SmsRecvArr.size(), 3);
  EXPECT_EQ(t.link().SmsRecvArr[0].Text, "OK");
  EXPECT_EQ(t.link().SmsRecvArr[1].Text, "+CMTI: \"SM\",3");
  EXPECT_EQ(t.link().SmsRecvArr[2].Text, "RING");
}

TEST_F(AtAutomaton, JobFailures) {
  sendJob();
  t.line("+CMS ERROR: 21");
  EXPECT_TRUE(t.link().SmsSendFail);
  EXPECT_FALSE(t.link().SmsSendDone);
  EXPECT_FALSE(t.link().SendFailTemporary);
  EXPECT_EQ(t.link().SendFailReason, "+CMS ERROR: 21");
  EXPECT_EQ(t.logs(), QStringList{"GSM gateway: non-delivery SMS to +420777111222"});
  t.link().SmsSendFail = false;

  // Lines the gateway does not know before the prompt are set aside; the body follows it.
  GsmAutomat(t.g(), AtState::SendJob);
  t.takeCommand();
  t.feed(
      "\r\n+CMTI: \"SM\",3\r\n\r\n^RSSI:12\r\n\r\nCall Ready\r\n\r\n+CIEV: 2,3\r\n"
      "\r\nUNDER-VOLTAGE WARNNING\r\n");
  EXPECT_TRUE(t.link().WaitPrompt);
  EXPECT_TRUE(t.link().SmsAnnounced);
  t.feed("\r\n> ");
  EXPECT_EQ(t.takeCommand(), "Hi there\x1A");
  t.line("+CMGS: 7");
  t.line("OK");
  EXPECT_TRUE(t.link().SmsSendDone);
  t.link().SmsSendDone = false;
  t.logs();

  // A final result instead of the prompt ends the session; the body stays unsent, the job waits.
  for (const char* answer : {"+CMS ERROR: 304", "OK"}) {
    GsmAutomat(t.g(), AtState::SendJob);
    t.takeCommand();
    t.line(answer);
    EXPECT_FALSE(t.takeCommand());
    EXPECT_EQ(t.logs(), QStringList{"GSM Busy - End of session"});
    t.clock.advance(2001);
    AnswerWatch(t.g(), t.clock.tick());
    EXPECT_EQ(t.logs(), QStringList{"GSM gateway inactive"});
    EXPECT_FALSE(t.link().SmsSendDone);
    EXPECT_FALSE(t.link().SmsSendFail);
  }

  // A body in flight is never written again: its result is awaited SendResultTimeout, then the
  // job waits for its retry; a "+CMGS" without its "OK" counts as sent.
  for (const bool accepted : {false, true}) {
    sendJob();
    if (accepted) t.line("+CMGS: 3");
    for (int i = 0; i < 14; ++i) {
      t.clock.advance(8001);
      AnswerWatch(t.g(), t.clock.tick());
      EXPECT_FALSE(t.link().GsmSendOn);
    }
    EXPECT_TRUE(t.link().WaitResult);
    EXPECT_TRUE(t.logs().isEmpty());
    t.clock.advance(8001);  // 120 s after the body
    AnswerWatch(t.g(), t.clock.tick());
    EXPECT_FALSE(t.link().WaitResult);
    // Not sent: a temporary failure, retried from the waiting store.
    EXPECT_EQ(t.link().SmsSendFail && t.link().SendFailTemporary && t.link().ResultGivenUp,
              !accepted);
    EXPECT_EQ(t.link().SendFailReason,
              QByteArray(accepted ? "" : "no result of the send within 120 s"));
    EXPECT_EQ(t.link().SmsSendDone, accepted);
    t.link().SmsSendFail = t.link().ResultGivenUp = t.link().SmsSendDone = false;
    t.link().SendFailReason.clear();
  }

  // A stop waits for it 15 s from the stop request.
  sendJob();
  t.clock.advance(30000);
  t.gs().CloseWanted = true;
  t.gs().StopAskedAt = t.clock.tick();
  t.clock.advance(15000);
  AnswerWatch(t.g(), t.clock.tick());
  EXPECT_EQ(t.link().At.writes, 1);
  t.clock.advance(1);
  AnswerWatch(t.g(), t.clock.tick());
  EXPECT_EQ(t.link().At.writes, 0);  // the relation may end; the job is settled there
  EXPECT_TRUE(t.link().WaitResult);
}

TEST_F(AtAutomaton, Ucs2JobSwitchesTheCharacterSetAndSendsHex) {
  t.gs().JobUCS2 = true;
  t.gs().JobWideText = QStringLiteral("Čau");
  t.gs().JobTelNo = "+42";
  t.link().AutPhase = 2;
  GsmAutomat(t.g(), AtState::Charset);
  EXPECT_EQ(t.converse([](const QByteArray& c) {
    return c.startsWith("AT+CMGS") ? QByteArray("\r\n> ") : kOk;
  }),
            (QList<QByteArray>{"AT+CSCS=\"UCS2\"", "AT+CSMP=17,167,0,8", "AT+CMGS=\"002B00340032\"",
                               "010C00610075\x1A"}));
  EXPECT_EQ(t.gs().LastCharset, 1);
}

TEST_F(AtAutomaton, PduJobGivesTheLengthWithoutTheServiceCentre) {
  t.gs().cfg.PDUText = false;
  t.gs().cfg.RecoveryStartIncMin = 2;
  t.link().SmscNo = "+420600000100";
  t.gs().JobTelNo = "+420777111222";
  t.gs().JobText = "Hi";
  GsmAutomat(t.g(), AtState::SendJob);
  EXPECT_EQ(t.takeCommand(), "AT+CMGS=16");
  EXPECT_TRUE(t.link().GsmSmsBody.startsWith("0791246000001000"));
  EXPECT_TRUE(t.link().GsmSmsBody.endsWith("02C834"));
  // Every command step pushes the recovery restart further out.
  EXPECT_NEAR(t.gs().RecoveryAt, t.clock.now() + 2.0 / 1440, 1e-9);
}

// The watchdog's time-out of the command in flight has passed.
void TimeOut(AtTestGateway& t) {
  t.clock.advance(t.link().GsmTimeout + 1);
  AnswerWatch(t.g(), t.clock.tick());
}

// A command written again after a time-out is answered once per write; the modem answers in
// order, so the answers after the first are owed by that command and answer nothing later.
TEST_F(AtAutomaton, LateAnswersOfACommandWrittenAgainAnswerNothingLater) {
  const QByteArray storage = "\r\n+CPMS: 2,30,2,30,2,30\r\n" + kOk;
  t.gs().cfg.MemCheOn = true;
  GsmAutomat(t.g(), AtState::Storage);
  EXPECT_EQ(t.takeCommand(), "AT+CPMS=\"SM\"");
  TimeOut(t);
  EXPECT_EQ(t.takeCommand(), "AT+CPMS=\"SM\"");
  t.feed(storage);
  EXPECT_EQ(t.takeCommand(), "AT+CMGL=\"ALL\"");
  t.feed(storage);  // the second write's answer: no end of the listing
  EXPECT_FALSE(t.link().ListDone);
  EXPECT_FALSE(t.takeCommand());
  t.feed(kTextListing + kOk);
  EXPECT_TRUE(t.link().ListDone);
  ReadSmsList(t.g());
  EXPECT_EQ(t.link().SmsRecvArr.size(), 2);

  // A bare "OK" is told apart only by its order: the kick-off written three times.
  startRelation();
  EXPECT_EQ(t.takeCommand(), "AT");
  TimeOut(t);
  EXPECT_EQ(t.takeCommand(), "AT");
  TimeOut(t);
  EXPECT_EQ(t.takeCommand(), "AT");
  t.feed(kOk);
  EXPECT_EQ(t.takeCommand(), "AT+CMEE=1");
  t.feed(kOk + kOk);
  EXPECT_FALSE(t.takeCommand());
  t.feed(kOk);
  EXPECT_EQ(t.takeCommand(), "AT+CPIN?");
}

TEST_F(AtAutomaton, AnAnswerLostOnTheWayIsNotWaitedForOnceTheNextCommandIsAnswered) {
  t.gs().cfg.MemCheOn = true;
  GsmAutomat(t.g(), AtState::Signal);
  EXPECT_EQ(t.takeCommand(), "AT+CSQ");
  TimeOut(t);
  EXPECT_EQ(t.takeCommand(), "AT+CSQ");
  t.feed("\r\n+CSQ: 20,99\r\n" + kOk);  // one answer for two writes
  EXPECT_EQ(t.takeCommand(), "AT+CPMS=\"SM\"");
  t.feed("\r\n+CPMS: 0,30,0,30,0,30\r\n" + kOk);  // its own line: nothing else is owed
  EXPECT_EQ(t.takeCommand(), "AT+CMGL=\"ALL\"");
  t.feed(kOk);  // nothing listed

  // The send command's prompt comes after what earlier commands still owe.
  t.link().AutPhase = 2;
  t.gs().JobTelNo = "+420777111222";
  t.gs().JobText = "Hi";
  GsmAutomat(t.g(), AtState::Params);
  EXPECT_EQ(t.takeCommand(), "AT+CSMP=17,167,0,0");
  TimeOut(t);
  EXPECT_EQ(t.takeCommand(), "AT+CSMP=17,167,0,0");
  t.feed(kOk);
  EXPECT_EQ(t.takeCommand(), "AT+CMGS=\"+420777111222\"");
  t.feed(kOk + "\r\n> ");
  EXPECT_EQ(t.takeCommand(), "Hi\x1A");
  t.logs();
  t.feed("\r\n+CMGS: 7\r\n" + kOk);
  EXPECT_EQ(t.logs(), QStringList{"GSM gateway dispatched SMS to +420777111222"});
}

TEST_F(AtAutomaton, NoiseInTheKickOffsAnswerAsksForTheKickOffAgain) {
  startRelation();
  EXPECT_EQ(t.takeCommand(), "AT");
  t.feed("\r\n\x85\xF3#garbled\r\n");
  EXPECT_FALSE(t.gs().RestartWanted);
  EXPECT_EQ(t.link().ComErrCnt, 0);
  EXPECT_EQ(t.takeCommand(), "AT");
  t.feed("x\xF0\r\n\xF1\r\n");  // the usual three writes at most
  EXPECT_EQ(t.takeCommand(), "AT");
  t.feed("\xF2\r\n");
  EXPECT_FALSE(t.takeCommand());
  t.feed(kOk + kOk + kOk);
  EXPECT_EQ(t.takeCommand(), "AT+CMEE=1");
  // Once the device has answered, such a byte is a line error again.
  t.feed("\xF3");
  EXPECT_TRUE(t.gs().RestartWanted);
}

// Peers retry what the network may get over; every other answer is final.
TEST(SendFailure, TemporaryAnswersAndTheirText) {
  const struct {
    const char* line;
    bool temporary;
  } cases[] = {
      {"+CMS ERROR: 38", true},
      {"+CMS ERROR: 41", true},
      {"+CMS ERROR: 42", true},
      {"+CMS ERROR: 47", true},
      {"+CMS ERROR: 331", true},
      {"+CMS ERROR: 332", true},
      {"+CMS ERROR: 500", true},
      {"ERROR", true},
      {"+CMS ERROR: 21", false},
      {"+CMS ERROR: 28", false},
      {"+CMS ERROR: 29", false},
      {"+CMS ERROR: 50", false},
      {"+CMS ERROR: 96", false},
      {"+CMS ERROR: 304", false},
      {"+CME ERROR: 38", false},
      // Verbose answers (AT+CMEE=2): the well-known words of the temporary codes.
      {"+CMS ERROR: Network out of order", true},
      {"+CMS ERROR: TEMPORARY FAILURE", true},
      {"+CMS ERROR: congestion", true},
      {"+CMS ERROR: Resources unavailable, unspecified", true},
      {"+CMS ERROR: no network service", true},
      {"+CME ERROR: Network time-out", true},
      {"+CME ERROR: unknown", true},
      {"+CMS ERROR: unknown error", true},
      {"+CMS ERROR: Unidentified subscriber", false},
      {"+CMS ERROR: network busy today", false},
      {"+CME ERROR: SIM busy", false},
  };
  for (const auto& c : cases) {
    const auto result = at::FinalResultOf(c.line);
    ASSERT_TRUE(result) << c.line;
    EXPECT_EQ(IsTemporarySendError(*result), c.temporary) << c.line;
    EXPECT_EQ(FinalResultText(*result), c.line);
  }
}

}  // namespace
}  // namespace kolvane
