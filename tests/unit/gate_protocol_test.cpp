#include <gtest/gtest.h>

#include <QDir>
#include <random>

#include "unit/qt_print.h"

#include "gate/gate_protocol.h"
#include "gsm/gate_frame.h"
#include "gsm/ucs2.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"
#include "store_test_gateway.h"

using namespace kolvane;

namespace {

QByteArray bytes(std::initializer_list<int> list) {
  QByteArray b;
  for (const int v : list) b.append(static_cast<char>(v));
  return b;
}

QByteArray fromDevice(const QByteArray& ies) {
  return GateFrameOfType(gate::kTypeIndication, ies);
}

// ---- framing ----

TEST(GateFrame, EscapesTheFrameBytesBothWays) {
  const QByteArray value = bytes({'z', '~', 205, 'a'});
  const QByteArray frame = GateFrame(GateIE(gate::kData1, value));
  EXPECT_EQ(frame.mid(1, frame.size() - 2).count('z'), 0);
  EXPECT_TRUE(frame.contains(bytes({205, 16, 205, 1, 205, 205, 'a'})));
  QByteArray answer = frame;
  answer[1] = static_cast<char>(gate::kTypeAnswer);
  const GateParsed p = ParseGateFrame(answer);
  EXPECT_TRUE(p.reason.isEmpty()) << p.reason.toStdString();
  EXPECT_EQ(p.ies.data1, value);
  // The body with its checksum adds up to 0.
  std::uint8_t sum = 0;
  for (const char c : GateUnescape(frame.mid(1, frame.size() - 2))) sum += std::uint8_t(c);
  EXPECT_EQ(sum, 0);
}

TEST(GateFrame, ChecksAndReasons) {
  const QByteArray sms = GateIE(gate::kData1, "hi") + GateIE(gate::kData2, "+420777");
  struct Case {
    const char* name;
    QByteArray frame;
    bool dropped;
    QString reason;
    QByteArray data1;
  };
  QByteArray cutList = fromDevice(sms + GateIE(gate::kCounter, "x"));
  cutList[2] = static_cast<char>(cutList[2] + 1);  // L one more than the IEs: "len" at the end
  cutList.insert(cutList.size() - 2, 'q');
  const Case cases[] = {
      {"sound", fromDevice(sms), false, {}, "hi"},
      {"junk before the start", "ab" + fromDevice(sms), false, {}, "hi"},
      {"our own frame echoed", GateFrame(sms), true, "echo", {}},
      {"too short", "~z", true, "length", {}},
      {"no end", bytes({'~', 163, 0, 93, 'x'}), true, "end", {}},
      {"no start", bytes({'x', 163, 0, 93, 'z'}), true, "begin", {}},
      {"body too short", bytes({'~', 163, 'z'}), true, "length<5", {}},
      {"length byte wrong", bytes({'~', 166, 9, 1, 'z', 'z'}).mid(0, 6), true, "LEN", {}},
      {"unknown IE skipped", fromDevice(GateIE(200, "??") + sms), false, "IE_200", "hi"},
      {"IE past the end keeps what came before", cutList, false, "len113", "hi"},
      {"escaped tilde", fromDevice(GateIE(gate::kData1, "a~b")), false, {}, "a~b"},
  };
  for (const Case& c : cases) {
    const GateParsed p = ParseGateFrame(c.frame);
    EXPECT_EQ(p.dropped, c.dropped) << c.name;
    EXPECT_EQ(p.reason, c.reason) << c.name;
    EXPECT_EQ(p.ies.data1, c.data1) << c.name;
  }
}

TEST(GateFrame, FrameCutOffMidBodyGivesWayToTheNext) {
  const QByteArray good = fromDevice(GateIE(gate::kIdent, "G1"));
  QByteArray buffer;
  GateTake take;
  for (const char c : fromDevice(GateIE(gate::kData1, "lost text")).left(7) + good) {
    buffer.append(c);
    take = TakeGateFrame(buffer);
    if (!take.frame.isEmpty()) break;
  }
  EXPECT_TRUE(take.cut);
  EXPECT_EQ(take.frame, good);
  EXPECT_TRUE(buffer.isEmpty());
  // Endless junk never grows the buffer beyond one frame.
  for (int i = 0; i < 5000; ++i) {
    buffer.append('x');
    TakeGateFrame(buffer);
  }
  EXPECT_LE(buffer.size(), gate::kMaxPending);
}

TEST(GateFrame, ModuleFromSubject) {
  const std::pair<const char*, int> cases[] = {
      {"MODUL 3", 3},   {"to modul 40", 255}, {"Modul:12 x", 12}, {"MODUL 32", 32},
      {"MODUL 0", 255}, {"MODULE", 255},      {"no module", 255}, {"MODUL 99999999999", 255},
  };
  for (const auto& [subject, module] : cases)
    EXPECT_EQ(ModuleFromSubject(subject), module) << subject;
}

// ---- protocol on a gateway ----

class GateProtocol : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.started);
    t.gs().cfg.GsmDevice = QStringLiteral("PRImaGate");
  }

  // Feeds one frame from the device byte by byte; returns what the gateway answered.
  GateIEs receive(const QByteArray& ies) {
    t.g().link().GateSendStr.clear();
    t.g().link().GateSendOn = false;
    for (const char c : fromDevice(ies)) {
      t.g().link().GsmRecvStr.append(c);
      GateRecv(t.g());
    }
    return sent();
  }
  GateIEs sent() {
    QByteArray f = t.g().link().GateSendStr;
    if (f.isEmpty()) return {};
    f[1] = static_cast<char>(gate::kTypeAnswer);
    return ParseGateFrame(f).ies;
  }
  GateIEs identify() {
    receive(GateIE(gate::kIdent, "GATE"));
    return receive(GateIE(gate::kReadAck) + GateIE16(gate::kCounter, 0));
  }
  GateIEs confirm(int counter) {
    return receive(GateIE(gate::kData1, "OK") + GateIE16(gate::kCounter, counter));
  }
  void queue(const QByteArray& to, const QByteArray& subj, const QByteArray& body = "text") {
    ASSERT_EQ(AppendRecord(t.g(), t.path("Smtp.Tmp"), job({}, to, body, subj), true),
              AppendResult::Written);
  }
  QList<QByteArray> numbers(const QString& store) {
    QList<QByteArray> out;
    for (const tMailRec& r : t.records(store)) out << r.TelNo;
    return out;
  }

  StoreTestGateway t;
};

TEST_F(GateProtocol, ReceivedSmsStoredAndAcknowledgedWithTheRunningCounter) {
  t.gs().cfg.LiptelUCS2 = false;
  const GateIEs ack = receive(GateIE(gate::kIdent, "G"));
  EXPECT_TRUE(ack.hasReadAck);
  EXPECT_EQ(ack.counter, 0);
  const QByteArray hexAbc = "004100420043";
  struct Case {
    QByteArray ies;
    QByteArray subject;
    QByteArray body;
  };
  const Case cases[] = {
      {GateIE(gate::kData1, bytes({'H', 'i', 0})) + GateIE(gate::kData2, "+420777111") +
           GateIE16(gate::kTypeSms, 0x0A00) + GateIE8(gate::kModule, 3) +
           GateIE16(gate::kCounter, 7),
       "SMS from phone No.: +420777111, GSM MODUL No.: 3 ", "Hi@"},
      {GateIE(gate::kData1, hexAbc) + GateIE(gate::kData2, "+420777222") +
           GateIE16(gate::kCounter, 8),
       "Missing IE_TYPE_SMS, NUMBER_SMS = +420777222, GSM MODUL No.: 255 ",
       hexAbc + "\r\nDecoded to Unicode: \r\nABC"},
      {GateIE(gate::kData1, "x") + GateIE(gate::kData2, "+420777333") +
           GateIE8(gate::kTypeSms, 14) + GateIE16(gate::kCounter, 9),
       "Non-delivery SMS: +420777333, GSM MODUL No.: 255 ", "x"},
  };
  int counter = 0;
  for (const Case& c : cases) {
    const GateIEs answer = receive(c.ies);
    EXPECT_TRUE(answer.hasReadAck);
    EXPECT_EQ(answer.counter, ++counter);
    const tMailRec rec = t.records("Pop3.Tmp").value(counter - 1);
    EXPECT_EQ(rec.Subj, c.subject);
    EXPECT_EQ(QpDecode(rec.MimeBody), c.body);
    EXPECT_EQ(rec.Toe, "<kolvane>");
  }
}

TEST_F(GateProtocol, Ucs2TextWithLiptelUcs2) {
  identify();
  receive(GateIE(gate::kData1, Ucs2Bytes(u"Čau")) + GateIE(gate::kData2, "+420777") +
          GateIE16(gate::kTypeSms, 0x0A08) + GateIE16(gate::kCounter, 1));
  const tMailRec rec = t.records("Pop3.Tmp").value(0);
  EXPECT_EQ(rec.Subj, "SMS from phone No.: +420777 UCS2, GSM MODUL No.: 255 ");
  EXPECT_EQ(QpDecode(rec.MimeBody), QStringLiteral(u"Čau").toUtf8());
}

TEST_F(GateProtocol, JobsSentWithModuleAndConfirmedByTheCounter) {
  t.gs().cfg.LiptelUCS2 = false;
  queue("<+420111>", "SMS MODUL 3");
  queue("<+420222>", "MODUL 40");
  queue("<+420333>", "plain");
  GateIEs job = identify();
  EXPECT_EQ(job.data2, "+420111");
  EXPECT_EQ(job.module, 3);
  EXPECT_EQ(job.counter, 1);
  EXPECT_FALSE(job.hasTypeSms);
  // A confirmation that matches no job changes nothing, yet the next job goes out.
  job = confirm(99);
  EXPECT_EQ(job.data2, "+420222");
  EXPECT_EQ(job.module, 255);
  EXPECT_FALSE(t.g().link().Gate.SentArr[0]._Confirm);
  job = confirm(2);
  EXPECT_EQ(job.data2, "+420333");
  EXPECT_TRUE(t.g().link().Gate.SentArr[1]._Confirm);
  confirm(3);
  // A new identification re-queues the unconfirmed first job only.
  queue("<+420444>", "later");
  job = identify();
  EXPECT_EQ(job.data2, "+420444");
  EXPECT_EQ(numbers("Smtp.Run"), (QList<QByteArray>{"+420444", "+420111"}));
}

TEST_F(GateProtocol, UnconfirmedJobSurvivesARestartAndIsSentOnce) {
  t.gs().cfg.LiptelUCS2 = false;
  queue("<+420111>", "a");
  queue("<+420222>", "b");
  queue("<+420333>", "c");
  identify();
  confirm(1);  // +420111 confirmed, +420222 handed over and never confirmed
  EXPECT_EQ(t.g().settingsFile()->value("GateSent", "Unconfirmed"),
            QString::number(t.g().link().Gate.SentArr[1]._SmtpRunPos));
  // A new run knows nothing of what it handed over but the settings file.
  t.g().link().Gate = {};
  const GateIEs job = identify();
  EXPECT_EQ(job.data2, "+420222");
  EXPECT_EQ(numbers("Smtp.Run"), (QList<QByteArray>{"+420222", "+420333"}));
  confirm(1);
  confirm(2);
  EXPECT_EQ(t.g().settingsFile()->value("GateSent", "Unconfirmed"), "");
  t.g().link().Gate = {};
  identify();
  EXPECT_FALSE(t.exists("Smtp.Run"));
}

TEST_F(GateProtocol, SmsThatCannotBeStoredIsNotAcknowledged) {
  identify();
  const QByteArray sms =
      GateIE(gate::kData1, "kept") + GateIE(gate::kData2, "+420777") + GateIE16(gate::kCounter, 1);
  QFile::remove(t.path("Pop3.Tmp"));
  ASSERT_TRUE(QDir(t.path("Pop3.Tmp")).mkpath("."));  // no file can be opened there
  EXPECT_FALSE(receive(sms).hasReadAck);
  EXPECT_EQ(t.g().link().Gate.ReadSMSCnt, 0);
  ASSERT_TRUE(QDir(t.path("Pop3.Tmp")).removeRecursively());
  const GateIEs ack = receive(sms);
  EXPECT_TRUE(ack.hasReadAck);
  EXPECT_EQ(ack.counter, 1);
  EXPECT_EQ(t.records("Pop3.Tmp").size(), 1);
}

TEST_F(GateProtocol, CausesInactiveModuleAndBufferFull) {
  queue("<+420111>", "MODUL 5");
  queue("<+420222>", "b");
  queue("<+420333>", "c");
  identify();
  const QByteArray inactive = GateIE(gate::kCause, bytes({0, 0, 0, 0, 240}));
  const GateIEs next = receive(inactive);
  EXPECT_EQ(next.data2, "+420222");
  const tMailRec report = t.records("Pop3.Tmp").value(0);
  EXPECT_EQ(report.Subj, "MODUL 5, inactive MODULE");
  EXPECT_EQ(report.TelNo, "+420111");

  EXPECT_FALSE(receive(GateIE(gate::kCause, bytes({0, 0, 0, 0, 254}))).hasData1);
  // The same cause again does not re-queue the jobs once more.
  receive(GateIE(gate::kCause, bytes({0, 0, 0, 0, 255})));
  EXPECT_EQ(numbers("Smtp.Tmp"), (QList<QByteArray>{"+420222", "+420333"}));
  EXPECT_EQ(t.records("Pop3.Tmp").value(1).Subj, "!!! caution !!!");
  // The job refused for a full buffer is back in the store once, not again at identification.
  identify();
  EXPECT_EQ(numbers("Smtp.Run"), (QList<QByteArray>{"+420222", "+420333"}));
}

TEST_F(GateProtocol, CauseAfterConfirmationLeavesTheJobAlone) {
  queue("<+420111>", "a");
  identify();
  confirm(1);
  receive(GateIE(gate::kCause, bytes({0, 0, 0, 0, 255})));
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
  EXPECT_EQ(t.g().link().Gate.SentArr[0]._IE_CAUSE_5, -1);
}

TEST_F(GateProtocol, EchoAndBrokenFramesAreLoggedNotActedUpon) {
  t.logs();
  for (const char c : GateFrame(GateIE(gate::kIdent))) {
    t.g().link().GsmRecvStr.append(c);
    GateRecv(t.g());
  }
  EXPECT_FALSE(t.g().link().GateSendOn);
  EXPECT_TRUE(t.logs().contains(QStringLiteral("!!! ISDN Gate Recv Err - echo !!!")));
}

// Random device bytes through the whole receiver, with jobs to send: never stuck, never
// unbounded.
TEST_F(GateProtocol, RandomDeviceBytesNeverBreakTheReceiver) {
  queue("<+420111>", "MODUL 1");
  queue("<+420222>", "b");
  std::mt19937 rng(17);
  const auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n)(rng); };
  const QByteArray seeds[] = {GateIE(gate::kIdent, "G"),
                              GateIE(gate::kReadAck) + GateIE16(gate::kCounter, 0),
                              GateIE(gate::kData1, "OK") + GateIE16(gate::kCounter, 1),
                              GateIE(gate::kCause, bytes({0, 0, 0, 0, 254})),
                              GateIE(gate::kData1, "x") + GateIE(gate::kData2, "+4207")};
  for (int round = 0; round < 2000; ++round) {
    QByteArray chunk = fromDevice(seeds[pick(4)]);
    for (int n = pick(3); n > 0; --n) chunk[pick(chunk.size() - 1)] = static_cast<char>(pick(255));
    chunk.truncate(chunk.size() - pick(2));
    for (const char c : chunk) {
      t.g().link().GsmRecvStr.append(c);
      GateRecv(t.g());
      ASSERT_LE(t.g().link().GsmRecvStr.size(), gate::kMaxPending + 1);
    }
    // Each of the two jobs is at most in the run file and back in the mail store.
    ASSERT_LE(t.read("Smtp.Run").count("PosID") + t.read("Smtp.Tmp").count("PosID"), 4);
  }
}

}  // namespace
