#include <gtest/gtest.h>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "mail/client_limits.h"
#include "mail/mail_listeners.h"
#include "mail/pop3_server.h"
#include "platform/ini_file.h"
#include "support/free_port.h"
#include "support/sms_record.h"
#include "unit/store_test_gateway.h"

namespace kolvane {
namespace {

constexpr int kWaitMs = 5000;

// A POP3 server on a free port of a started gateway; clients are real sockets, and the main
// cycle's delivery step is run by hand past the pause after each connect.
class Pop3ServerTest : public ::testing::Test {
 protected:
  Pop3ServerTest() {
    t.gs().cfg.DNSOff = true;
    EXPECT_TRUE(t.g().listeners().listenPop3(FreePort()));
    t.gs().Pop3Listen = true;
    t.logs();
  }

  TdmPOP3& pop3() { return t.g().pop3(); }

  void addRecord(const QByteArray& id, const QByteArray& body, const QByteArray& namePC = {}) {
    t.append(QStringLiteral("Pop3.Tmp"), MailRecToStr(SmsRecord(id, namePC, body)));
  }

  std::unique_ptr<QTcpSocket> connectClient(const char* from = "127.0.0.1") {
    auto c = std::make_unique<QTcpSocket>();
    c->bind(QHostAddress(QString::fromLatin1(from)));
    const std::size_t before = pop3().connectionCount();
    c->connectToHost(QHostAddress::LocalHost, t.g().listeners().pop3Port());
    EXPECT_TRUE(QTest::qWaitFor([&] { return pop3().connectionCount() > before; }, kWaitMs));
    return c;
  }

  // One main-cycle delivery after the connect pause.
  void cycle() {
    t.clock.advance(TdmPOP3::kConnectPauseMs);
    pop3().deliverReply();
  }

  // What the client receives for the pending reply; multi-line replies end with "\r\n.\r\n".
  QByteArray receive(QTcpSocket& c, bool multiLine = false) {
    cycle();
    QByteArray got;
    const QByteArray end = multiLine ? "\r\n.\r\n" : "\r\n";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          got += c.readAll();
          return got.endsWith(end);
        },
        kWaitMs))
        << got.data();
    return got;
  }

  QByteArray say(QTcpSocket& c, const QByteArray& line, bool multiLine = false) {
    c.write(line + "\r\n");
    // The reply leaves as soon as it is set; during a connect pause it waits.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return c.bytesAvailable() > 0 || pop3().replyPending(); }, kWaitMs))
        << line.data();
    return receive(c, multiLine);
  }

  // QUIT is answered, then the server closes the connection.
  void quit(std::unique_ptr<QTcpSocket>& c) {
    const std::size_t before = pop3().connectionCount();
    EXPECT_EQ(say(*c, "QUIT"), "+OK\r\n");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          return c->state() == QAbstractSocket::UnconnectedState &&
                 pop3().connectionCount() == before - 1;
        },
        kWaitMs));
  }
  bool closed(QTcpSocket& c) {
    return QTest::qWaitFor([&] { return c.state() == QAbstractSocket::UnconnectedState; }, kWaitMs);
  }

  void disconnect(std::unique_ptr<QTcpSocket>& c) {
    const std::size_t before = pop3().connectionCount();
    c->disconnectFromHost();
    c.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return pop3().connectionCount() < before; }, kWaitMs));
  }

  QString position(const QString& pc) {
    return t.g().settingsFile()->value(QStringLiteral("ClientsPos"), pc);
  }

  StoreTestGateway t;
};

TEST_F(Pop3ServerTest, AMessageLeavesThePcsBoxOnlyOnceRetrievedOrDeleted) {
  addRecord("260201000001", "first");
  addRecord("260201000002", "second");
  addRecord("260201000003", "third");
  auto c = connectClient();
  EXPECT_EQ(receive(*c), "+OK POP3 server ready\r\n");
  // A mail checker that only looks takes nothing away.
  say(*c, "USER anyone");
  EXPECT_TRUE(say(*c, "STAT").startsWith("+OK 3 "));
  quit(c);
  EXPECT_EQ(position(QStringLiteral("127.0.0.1")), QStringLiteral("260201000000"));

  c = connectClient();
  receive(*c);
  EXPECT_EQ(say(*c, "user anyone"), "+OK\r\n");
  EXPECT_EQ(say(*c, "PASS x"), "+OK\r\n");
  const QByteArray msg = say(*c, "RETR 1", true);
  EXPECT_TRUE(msg.contains("From: <+420777111222@sms.example>\r\n")) << msg.data();
  EXPECT_TRUE(msg.contains("\r\n\r\nfirst\r\n.\r\n")) << msg.data();
  EXPECT_EQ(say(*c, "DELE 1"), "+OK\r\n");
  EXPECT_TRUE(say(*c, "RETR 3", true).endsWith("\r\nthird\r\n.\r\n"));
  // A deleted message is gone from every listing and command.
  for (const QByteArray cmd : {"DELE 1", "RETR 1", "LIST 1", "UIDL 1", "LIST 4"}) {
    EXPECT_EQ(say(*c, cmd), "-ERR\r\n") << cmd.data();
  }
  EXPECT_TRUE(say(*c, "LIST", true).startsWith("+OK 2\r\n2 "));
  EXPECT_TRUE(say(*c, "STAT").startsWith("+OK 2 "));
  const int before = t.gs().cfg.EmlOutCnt;
  quit(c);
  EXPECT_EQ(t.gs().cfg.EmlOutCnt, before + 1);
  const QStringList logs = t.logs();
  EXPECT_TRUE(logs.contains(QStringLiteral("POP3 client \"anyone\" logged in")));
  EXPECT_TRUE(logs.contains(QStringLiteral("POP3 client received 1 SMS")));
  EXPECT_TRUE(logs.contains(QStringLiteral(
      "POP3 client \"127.0.0.1\" did not accept e-mail From: <+420777111222@sms.example>")));
  // Below the one neither retrieved nor deleted.
  EXPECT_EQ(position(QStringLiteral("127.0.0.1")), QStringLiteral("260201000001"));

  addRecord("260201000004", "fourth");
  c = connectClient();
  receive(*c);
  say(*c, "USER b");
  EXPECT_TRUE(say(*c, "STAT").startsWith("+OK 3 "));
  EXPECT_TRUE(say(*c, "RETR 1", true).contains("\r\n\r\nsecond\r\n.\r\n"));
}

TEST_F(Pop3ServerTest, AnIdentifierPastTwelveDigitsDoesNotMoveThePositionAboveLaterRecords) {
  addRecord("260201000001", "first");
  addRecord("9912311000000", "numbered by an earlier version");
  auto c = connectClient();
  receive(*c);
  say(*c, "USER a");
  EXPECT_TRUE(say(*c, "STAT").startsWith("+OK 1 "));
  say(*c, "RETR 1", true);
  quit(c);
  EXPECT_EQ(position(QStringLiteral("127.0.0.1")), QStringLiteral("260201000001"));
  addRecord("260201000002", "later");
  c = connectClient();
  receive(*c);
  say(*c, "USER a");
  EXPECT_TRUE(say(*c, "RETR 1", true).contains("\r\n\r\nlater\r\n.\r\n"));
}

TEST_F(Pop3ServerTest, TheListBelongsToTheConnectionThatSentUser) {
  addRecord("260201000001", "for the first PC");
  auto c = connectClient();
  receive(*c);
  say(*c, "USER a");
  EXPECT_TRUE(say(*c, "STAT").startsWith("+OK 1 "));
  disconnect(c);

  c = connectClient();
  receive(*c);
  for (const QByteArray cmd : {"STAT", "LIST", "LIST 1", "UIDL", "RETR 1", "DELE 1", "TOP 1 0"}) {
    EXPECT_EQ(say(*c, cmd), "-ERR\r\n") << cmd.data();
  }
  EXPECT_EQ(say(*c, "NOOP"), "+OK\r\n");
  quit(c);
  EXPECT_EQ(position(QStringLiteral("127.0.0.1")), QString());
}

TEST_F(Pop3ServerTest, UidlIdsAreTheMessagesOwnAndSizesWhatRetrSends) {
  addRecord("260201000001", "=2Edot line=3D and a long line " + QByteArray(100, 'x') + "=0D=0A.2");
  addRecord("260201000001", "same identifier, other record");
  auto c = connectClient();
  receive(*c);
  c->write("USER a\n");  // LF alone ends a line too
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return c->bytesAvailable() > 0 || pop3().replyPending(); }, kWaitMs));
  EXPECT_EQ(receive(*c), "+OK\r\n");
  const QByteArray uidl = say(*c, "UIDL", true);
  const QList<QByteArray> lines = uidl.split('\n');
  ASSERT_EQ(lines.size(), 5) << uidl.data();
  const QByteArray first = lines[1].trimmed();
  EXPECT_TRUE(first.startsWith("1 260201000001-")) << first.data();
  EXPECT_NE(first.mid(2), lines[2].trimmed().mid(2));
  EXPECT_EQ(say(*c, "uidl   1"), "+OK " + first + "\r\n");
  // The same in the next session.
  say(*c, "USER a");
  EXPECT_EQ(say(*c, "UIDL", true), uidl);
  // A size counts the message as sent, without the dots stuffed in nor the closing line.
  const QByteArray size = say(*c, "LIST 1").split(' ').value(2).trimmed();
  const QByteArray retr = say(*c, "RETR 1", true);
  EXPECT_TRUE(retr.contains("\r\n\r\n..dot line=3D and")) << retr.data();
  EXPECT_TRUE(retr.contains("\r\n..2\r\n.\r\n")) << retr.data();
  const qsizetype head = retr.indexOf("\r\n") + 2;
  EXPECT_EQ(retr.size() - head - 3 - 2, size.toLongLong()) << retr.data();
  for (const QByteArray& l : retr.split('\n')) EXPECT_LE(l.size(), 78) << l.data();
  EXPECT_EQ(say(*c, "LIST x"), "-ERR\r\n");
  EXPECT_EQ(say(*c, "LIST 0"), "-ERR\r\n");
  EXPECT_EQ(say(*c, "RETR"), "-ERR\r\n");
}

TEST_F(Pop3ServerTest, ClientsThatLookBeforeTheyFetchGetTheHeaderAndLoseNothing) {
  addRecord("260201000001", "one=0D=0Atwo=0D=0A.three");
  auto c = connectClient();
  receive(*c);
  // A pipelining client sends its commands at once and gets every answer in order.
  c->write("CAPA\r\nUSER a\r\nTOP 1 0\r\nTOP 1 2\r\ntop 1 99999999\r\nQUIT\r\n");
  QByteArray got;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        got += c->readAll();
        return got.count("\r\n.\r\n") == 4 && got.endsWith("\r\n+OK\r\n");
      },
      kWaitMs))
      << got.data();
  const auto next = [&got](const QByteArray& end) {
    const QByteArray r = got.left(got.indexOf(end) + end.size());
    got.remove(0, r.size());
    return r;
  };
  EXPECT_EQ(next("\r\n.\r\n"),
            "+OK Capability list follows\r\nUSER\r\nUIDL\r\nTOP\r\nRESP-CODES\r\nPIPELINING\r\n"
            "STLS\r\n.\r\n");
  EXPECT_EQ(next("\r\n"), "+OK\r\n");
  const QByteArray header = next("\r\n.\r\n");
  EXPECT_TRUE(header.startsWith("+OK\r\nFrom: ")) << header.data();
  EXPECT_TRUE(header.contains("\r\nMessage-ID: <260201000001-")) << header.data();
  EXPECT_TRUE(header.endsWith("quoted-printable\r\n\r\n.\r\n")) << header.data();
  const QByteArray head = header.chopped(3);
  EXPECT_EQ(next("\r\n.\r\n"), head + "one\r\ntwo\r\n.\r\n");
  const QByteArray whole = next("\r\n.\r\n");
  EXPECT_EQ(whole, head + "one\r\ntwo\r\n..three\r\n.\r\n");
  EXPECT_EQ(got, "+OK\r\n");
  // Looking took nothing away; TOP of the whole message is what RETR sends.
  EXPECT_EQ(position(QStringLiteral("127.0.0.1")), QStringLiteral("260201000000"));
  // QUIT closed that connection.
  c = connectClient();
  receive(*c);
  say(*c, "USER a");
  const QByteArray retr = say(*c, "RETR 1", true);
  // A record without its own date is dated when it is served: the reconnect took a second.
  const auto undated = [](QByteArray m) {
    const qsizetype at = m.indexOf("\r\nDate: ");
    return m.remove(at, m.indexOf("\r\n", at + 2) - at).toStdString();
  };
  EXPECT_EQ(undated(retr.mid(retr.indexOf("\r\n"))), undated(whole.mid(3)));
  for (const QByteArray cmd : {"TOP 1 x", "TOP 1", "TOP 2 0", "TOP 1 -1"}) {
    EXPECT_EQ(say(*c, cmd), "-ERR\r\n") << cmd.data();
  }
}

TEST_F(Pop3ServerTest, ClientsAreServedSideBySideEachAfterItsOwnPause) {
  addRecord("260201000001", "for every PC");
  auto first = connectClient("127.0.0.1");
  EXPECT_EQ(receive(*first), "+OK POP3 server ready\r\n");
  say(*first, "USER a");
  auto second = connectClient("127.0.0.2");
  second->write("NOOP\r\n");
  // The second connect's pause holds nothing of the first back.
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return second->state() == QAbstractSocket::ConnectedState; }, kWaitMs));
  first->write("STAT\r\n");
  QByteArray stat;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        stat += first->readAll();
        return stat.endsWith("\r\n");
      },
      kWaitMs));
  EXPECT_TRUE(stat.startsWith("+OK 1 ")) << stat.data();
  EXPECT_EQ(second->bytesAvailable(), 0);
  cycle();
  QByteArray got;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        got += second->readAll();
        return got.count("\r\n") >= 2;
      },
      kWaitMs));
  EXPECT_EQ(got, "+OK POP3 server ready\r\n+OK\r\n");
  say(*second, "USER b");
  EXPECT_TRUE(say(*second, "RETR 1", true).contains("for every PC"));
  EXPECT_TRUE(say(*first, "RETR 1", true).contains("for every PC"));
  quit(second);
  EXPECT_EQ(position(QStringLiteral("127.0.0.2")), QStringLiteral("260201000001"));
  EXPECT_EQ(position(QStringLiteral("127.0.0.1")), QString());
}

TEST_F(Pop3ServerTest, ALaptopsSecondSessionReplacesItsFirstAndItsDeletionsAreDropped) {
  addRecord("260201000001", "first");
  addRecord("260201000002", "second");
  auto before = connectClient();
  receive(*before);
  say(*before, "USER a");
  EXPECT_EQ(say(*before, "DELE 1"), "+OK\r\n");
  // Still logged in before it went to sleep: the one that woke up takes the mailbox.
  auto after = connectClient();
  receive(*after);
  EXPECT_EQ(say(*after, "USER a"), "+OK\r\n");
  EXPECT_TRUE(closed(*before));
  EXPECT_TRUE(say(*after, "STAT").startsWith("+OK 2 "));
  EXPECT_TRUE(t.logs().contains(
      "POP3 client \"127.0.0.1\" logged in again: its earlier session is closed, its deletions "
      "dropped"));
  // A session that has not sent USER holds nothing.
  auto third = connectClient();
  receive(*third);
  EXPECT_EQ(say(*third, "NOOP"), "+OK\r\n");
  EXPECT_TRUE(say(*after, "RETR 2", true).contains("second"));
  EXPECT_EQ(third->state(), QAbstractSocket::ConnectedState);
}

TEST_F(Pop3ServerTest, EveryLineIsAnsweredAndAnOverlongOneRefused) {
  auto c = connectClient();
  EXPECT_EQ(receive(*c), "+OK POP3 server ready\r\n");
  struct Case {
    QByteArray line;
    QByteArray reply;
  };
  const Case cases[] = {{"TOP 1 0", "-ERR\r\n"},
                        {"XYZZY", "-ERR\r\n"},
                        {"top", "-ERR\r\n"},
                        {QByteArray(kMaxLineBytes + 10, 'A'), "-ERR\r\n"},
                        {"NOOP", "+OK\r\n"}};
  for (const Case& k : cases) EXPECT_EQ(say(*c, k.line), k.reply) << k.line.left(10).data();
}

TEST_F(Pop3ServerTest, SilentAndTricklingClientsAreClosedAtTheLimitAndOthersServedMeanwhile) {
  addRecord("260201000001", "first");
  auto silent = connectClient("127.0.0.1");
  EXPECT_EQ(receive(*silent), "+OK POP3 server ready\r\n");
  auto trickle = connectClient("127.0.0.2");
  EXPECT_EQ(receive(*trickle), "+OK POP3 server ready\r\n");
  auto fetcher = connectClient("127.0.0.3");
  EXPECT_EQ(receive(*fetcher), "+OK POP3 server ready\r\n");
  say(*fetcher, "USER c");
  // A command every minute is answered but completes nothing; a retrieval does.
  for (int minute = 1; minute < 10; ++minute) {
    t.clock.advance(60000);
    EXPECT_EQ(say(*trickle, "NOOP"), "+OK\r\n");
    if (minute == 5) say(*fetcher, "RETR 1", true);
  }
  EXPECT_EQ(silent->state(), QAbstractSocket::ConnectedState);
  EXPECT_EQ(trickle->state(), QAbstractSocket::ConnectedState);
  t.clock.advance(50000);  // past ten minutes since the connects
  pop3().deliverReply();
  EXPECT_TRUE(closed(*silent));
  EXPECT_TRUE(closed(*trickle));
  EXPECT_EQ(fetcher->state(), QAbstractSocket::ConnectedState);
  const QStringList logs = t.logs();
  EXPECT_TRUE(logs.contains("POP3 client \"127.0.0.1\" silent for 600 s: connection closed"));
  EXPECT_TRUE(
      logs.contains("POP3 client \"127.0.0.2\" completed nothing in 600 s: connection closed"));
}

TEST_F(Pop3ServerTest, ASwitchedOffPcIsRefusedWithAReason) {
  t.g().settingsFile()->setValue(QStringLiteral("Pop3CliOnOff"), QStringLiteral("127.0.0.1"),
                                 QStringLiteral("0"));
  t.g().settingsFile()->setValue(QStringLiteral("Pop3CliDateTime"), QStringLiteral("127.0.0.1"),
                                 QStringLiteral("46000"));
  pop3().ClientsInit();
  ASSERT_EQ(pop3().Clients().size(), 1);
  EXPECT_EQ(pop3().Clients()[0].PosID, QByteArray("????"));
  auto c = connectClient();
  QByteArray got;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        got += c->readAll();
        return c->state() == QAbstractSocket::UnconnectedState;
      },
      kWaitMs));
  EXPECT_EQ(got, "-ERR POP3 access denied");
  EXPECT_TRUE(QTest::qWaitFor([&] { return pop3().connectionCount() == 0; }, kWaitMs));
  EXPECT_EQ(t.gs().Lamps.pop3Bits & kLampClient, 0);
}

TEST_F(Pop3ServerTest, RepliesWaitForTheConnectPause) {
  t.gs().cfg.Debug = true;
  auto c = connectClient();
  pop3().deliverReply();  // within the pause
  QTest::qWait(50);
  EXPECT_EQ(c->bytesAvailable(), 0);
  EXPECT_TRUE(pop3().replyPending());
  EXPECT_EQ(receive(*c), "+OK POP3 server ready\r\n");
  disconnect(c);
  EXPECT_FALSE(pop3().replyPending());
  const QStringList logs = t.logs();
  EXPECT_TRUE(logs.contains(QStringLiteral("POP3 DATA->|+OK POP3 server ready|")));
  EXPECT_TRUE(logs.contains(QStringLiteral("POP3 client \"127.0.0.1\" disconnected")));
}

TEST_F(Pop3ServerTest, ALongMessageArrivesWhole) {
  QByteArray body;
  for (int i = 0; body.size() < 3'000'000; ++i) body += "line " + QByteArray::number(i) + "\r\n";
  addRecord("260201000001", body.chopped(2));
  auto c = connectClient();
  receive(*c);
  say(*c, "USER a");
  const QByteArray msg = say(*c, "RETR 1", true);
  EXPECT_TRUE(msg.contains("\r\n\r\n" + body + ".\r\n")) << msg.size();
}

TEST_F(Pop3ServerTest, ClientsWindowActions) {
  auto c = connectClient();
  receive(*c);
  const QString pc = QStringLiteral("127.0.0.1");
  EXPECT_FALSE(pop3().deleteItem(pc));  // connected
  EXPECT_TRUE(pop3().disconnectClient(pc));
  EXPECT_TRUE(QTest::qWaitFor([&] { return pop3().connectionCount() == 0; }, kWaitMs));
  EXPECT_TRUE(pop3().switchOnOff(pc));
  EXPECT_EQ(t.g().settingsFile()->value(QStringLiteral("Pop3CliOnOff"), pc), QStringLiteral("0"));
  EXPECT_TRUE(pop3().deleteItem(pc));
  EXPECT_EQ(t.g().settingsFile()->value(QStringLiteral("Pop3CliDateTime"), pc),
            QStringLiteral("0"));
}

TEST(SessionWatch, SilenceAndNothingCompletedEachEndASessionButAMailOnlyBySilence) {
  using E = SessionWatch::Expiry;
  SessionWatch w(100, 0);
  w.heard(60);
  EXPECT_EQ(w.expired(99), E::None);
  EXPECT_EQ(w.dueIn(90), 10u);
  EXPECT_EQ(w.expired(100), E::Idle);  // heard, but nothing done
  w.completed(100);
  EXPECT_EQ(w.expired(159), E::None);
  EXPECT_EQ(w.expired(160), E::Silent);
  // Transferring: only silence counts, and its time is not held against the session.
  w.heard(150);
  w.transfer(true, 150);
  w.heard(240);
  w.heard(330);
  EXPECT_EQ(w.expired(420), E::None);
  w.heard(420);
  w.transfer(false, 420);  // 50 ms before it, 270 in it: 50 left
  EXPECT_EQ(w.expired(469), E::None);
  EXPECT_EQ(w.expired(470), E::Idle);
}

}  // namespace
}  // namespace kolvane
