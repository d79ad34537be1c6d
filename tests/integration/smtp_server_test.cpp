#include <gtest/gtest.h>
#include <QHostInfo>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "unit/qt_print.h"

#include "core/gateway_start.h"
#include "mail/client_limits.h"
#include "mail/mail_listeners.h"
#include "mail/mail_recv.h"
#include "mail/smtp_server.h"
#include "platform/ini_file.h"
#include "platform/regional.h"
#include "support/free_port.h"
#include "support/link_test_gateway.h"
#include "support/sim_modem_device.h"
#include "unit/store_test_gateway.h"

using namespace kolvane;

namespace {

// A mail program on the loopback; from picks the loopback address it connects from, so that
// the server sees different PCs.
class Client {
 public:
  Client(quint16 port, const char* from) {
    socket_.bind(QHostAddress(QString::fromLatin1(from)));
    socket_.connectToHost(QHostAddress::LocalHost, port);
  }
  void send(const QByteArray& bytes) {
    socket_.write(bytes);
    socket_.flush();
  }
  void close() { socket_.disconnectFromHost(); }
  bool closed() const { return socket_.state() == QAbstractSocket::UnconnectedState; }
  // Complete lines received so far (CR LF ended), taken out.
  QList<QByteArray> take() {
    buffer_ += socket_.readAll();
    QList<QByteArray> lines;
    for (qsizetype end; (end = buffer_.indexOf("\r\n")) >= 0; buffer_.remove(0, end + 2)) {
      lines << buffer_.left(end);
    }
    return lines;
  }
  QByteArray received() const { return buffer_; }

 private:
  QTcpSocket socket_;
  QByteArray buffer_;
};

class SmtpServer : public ::testing::Test {
 protected:
  SmtpServer() {
    cfg().DNSOff = true;
    EXPECT_TRUE(t.g().listeners().listenSmtp(FreePort()));
    t.gs().SmtpListen = true;
    port = t.g().listeners().smtpPort();
    t.logs();
  }

  Settings& cfg() { return t.gs().cfg; }
  TdmSMTP& smtp() { return t.g().smtp(); }

  std::unique_ptr<Client> connect(const char* from = "127.0.0.1") {
    return std::make_unique<Client>(port, from);
  }
  // One turn of the loop: socket events, then the cycle's reply delivery.
  void turn() {
    QTest::qWait(2);
    t.g().hooks().cycle.deliverSmtpReply();
  }
  bool until(const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
      if (done()) return true;
      turn();
    }
    return false;
  }
  // Enough turns for anything in flight to arrive.
  void settle() {
    for (int i = 0; i < 30; ++i) turn();
  }
  // The next line the client receives.
  QByteArray line(Client& c) {
    QList<QByteArray> lines;
    until([&] {
      lines += c.take();
      return !lines.isEmpty();
    });
    EXPECT_EQ(lines.size(), 1) << lines.join('|').toStdString();
    return lines.value(0, "<nothing>");
  }
  QByteArray say(Client& c, const QByteArray& command) {
    c.send(command + "\r\n");
    return line(c);
  }
  QString ini(const char* section, const char* key) {
    return IniFile(t.path("Kolvane.ini")).value(section, key, "-");
  }
  QStringList connectLogs() {
    QStringList out;
    for (const QString& l : t.logs()) {
      if (l.startsWith("SMTP client")) out << l;
    }
    return out;
  }

  StoreTestGateway t;
  quint16 port = 0;
};

TEST_F(SmtpServer, ClientsAreServedSideBySide) {
  auto a = connect("127.0.0.1");
  auto b = connect("127.0.0.2");
  auto c = connect("127.0.0.3");
  ASSERT_TRUE(until([&] { return smtp().connectionCount() == 3; }));
  c->send("HELO c\r\n");  // sent before its greeting is read: answered after it
  EXPECT_EQ(line(*a), "220 Kolvane");
  EXPECT_EQ(line(*b), "220 Kolvane");
  QList<QByteArray> early;
  ASSERT_TRUE(until([&] {
    early += c->take();
    return early.size() >= 2;
  }));
  EXPECT_EQ(early, (QList<QByteArray>{"220 Kolvane", "250 Kolvane C"}));
  // Each its own dialogue: a's mail does not see b's recipients.
  EXPECT_EQ(say(*a, "MAIL FROM:<a@lan>"), "250 Kolvane <a@lan> sender ok");
  EXPECT_EQ(say(*b, "MAIL FROM:<b@lan>"), "250 Kolvane <b@lan> sender ok");
  EXPECT_EQ(say(*b, "RCPT TO:<+420603000002@sms.lan>"),
            "250 Kolvane <+420603000002@sms.lan> recipient ok");
  EXPECT_EQ(say(*a, "RCPT TO:<+420603000001@sms.lan>"),
            "250 Kolvane <+420603000001@sms.lan> recipient ok");
  EXPECT_EQ(say(*b, "DATA"), "354 Kolvane");
  b->send("Subject: b\r\n\r\nfrom b\r\n");  // b stays mid-mail
  EXPECT_EQ(say(*a, "DATA"), "354 Kolvane");
  a->send("Subject: a\r\n\r\nfrom a\r\n");
  EXPECT_EQ(say(*a, "."), "250 Kolvane");
  EXPECT_EQ(say(*b, "."), "250 Kolvane");
  const QList<tMailRec> jobs = t.records("Smtp.Tmp");
  ASSERT_EQ(jobs.size(), 2);
  EXPECT_EQ(jobs[0].Toe, "<+420603000001@sms.lan>");
  EXPECT_EQ(jobs[0].NamePC, "127.0.0.1");
  EXPECT_EQ(jobs[1].Toe, "<+420603000002@sms.lan>");
  EXPECT_EQ(jobs[1].NamePC, "127.0.0.2");
  EXPECT_TRUE(t.gs().Lamps.smtpBits & kLampClient);
  for (auto* x : {a.get(), b.get(), c.get()}) x->close();
  ASSERT_TRUE(until([&] { return smtp().connectionCount() == 0; }));
  EXPECT_FALSE(t.gs().Lamps.smtpBits & kLampClient);
}

TEST_F(SmtpServer, SilentOrTricklingClientsAreClosedAtTheLimitAndOthersServedMeanwhile) {
  auto a = connect("127.0.0.1");
  EXPECT_EQ(line(*a), "220 Kolvane");
  say(*a, "MAIL FROM:<a@lan>");
  say(*a, "RCPT TO:<+420603111222@sms.lan>");
  EXPECT_EQ(say(*a, "DATA"), "354 Kolvane");
  a->send("Subject: half\r\n\r\nNever ends");
  auto b = connect("127.0.0.2");
  EXPECT_EQ(line(*b), "220 Kolvane");
  // b sends a command a minute: each one is answered, but it completes nothing.
  for (int minute = 1; minute < 5; ++minute) {
    t.clock.advance(60000);
    EXPECT_EQ(say(*b, "NOOP"), "250 Kolvane");
  }
  t.clock.advance(60000 - 1);
  settle();
  EXPECT_FALSE(a->closed());
  EXPECT_FALSE(b->closed());
  t.clock.advance(1);
  ASSERT_TRUE(until([&] { return a->closed() && b->closed(); }));
  EXPECT_FALSE(t.exists("Smtp.Tmp"));  // the half mail is dropped
  const QStringList logs = t.logs();
  EXPECT_TRUE(logs.contains("SMTP client \"127.0.0.1\" silent for 300 s: connection closed"));
  EXPECT_TRUE(
      logs.contains("SMTP client \"127.0.0.2\" completed nothing in 300 s: connection closed"));
}

TEST_F(SmtpServer, AMailOverASlowLineIsCutOnlyBySilence) {
  auto a = connect();
  EXPECT_EQ(line(*a), "220 Kolvane");
  t.clock.advance(200000);
  say(*a, "MAIL FROM:<a@lan>");
  say(*a, "RCPT TO:<+420603111222@sms.lan>");
  EXPECT_EQ(say(*a, "DATA"), "354 Kolvane");
  a->send("Subject: slow\r\n\r\n");
  // Twelve minutes of data, a line every four: past the limit, never silent for it.
  for (int i = 0; i < 3; ++i) {
    t.clock.advance(240000);
    a->send("line\r\n");
    settle();
    ASSERT_FALSE(a->closed());
  }
  EXPECT_EQ(say(*a, "."), "250 Kolvane");
  ASSERT_EQ(t.records("Smtp.Tmp").size(), 1);
  // The accepted mail starts the count afresh.
  t.clock.advance(299000);
  settle();
  EXPECT_FALSE(a->closed());
  t.clock.advance(1000);
  ASSERT_TRUE(until([&] { return a->closed(); }));
}

TEST_F(SmtpServer, SeveralConnectionsOfOnePcAreServedAtOnce) {
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(connect());
  for (auto& c : clients) EXPECT_EQ(line(*c), "220 Kolvane");
  ASSERT_EQ(smtp().Clients().size(), 1u);
  EXPECT_EQ(smtp().sessionCount(), 3u);
  EXPECT_TRUE(smtp().Clients()[0].ConOn);
  clients[0]->close();
  clients[1]->close();
  ASSERT_TRUE(until([&] { return smtp().connectionCount() == 1; }));
  EXPECT_TRUE(smtp().Clients()[0].ConOn);
  clients[2]->close();
  ASSERT_TRUE(until([&] { return smtp().connectionCount() == 0; }));
  EXPECT_FALSE(smtp().Clients()[0].ConOn);
  EXPECT_EQ(smtp().Clients()[0].Handle, 0);
}

TEST_F(SmtpServer, SwitchedOffPcIsClosedAtOnceAndTheServedDialogueGoesOn) {
  auto a = connect("127.0.0.1");
  EXPECT_EQ(line(*a), "220 Kolvane");
  EXPECT_EQ(say(*a, "MAIL FROM:<x@lan>"), "250 Kolvane <x@lan> sender ok");
  {
    auto x = connect("127.0.0.2");
    ASSERT_TRUE(until([&] { return smtp().Clients().size() == 2; }));
    x->close();
    ASSERT_TRUE(until([&] { return !smtp().Clients()[1].ConOn; }));
  }
  EXPECT_FALSE(smtp().switchOnOff("127.0.0.1"));  // connected: left alone
  EXPECT_TRUE(smtp().switchOnOff("127.0.0.2"));
  EXPECT_EQ(ini("SmtpCliOnOff", "127.0.0.2"), "0");
  t.logs();

  auto x = connect("127.0.0.2");
  ASSERT_TRUE(until([&] { return x->closed(); }));
  EXPECT_TRUE(x->take().isEmpty());
  EXPECT_EQ(x->received(), "");
  // No new greeting, no lost recipient: the served client carries on.
  EXPECT_EQ(say(*a, "RCPT TO:<+420603111222@sms.lan>"),
            "250 Kolvane <+420603111222@sms.lan> recipient ok");
  ASSERT_NE(smtp().mailRecv("127.0.0.1"), nullptr);
  EXPECT_EQ(smtp().mailRecv("127.0.0.1")->To_StrLi, QList<QByteArray>{"+420603111222@sms.lan"});
  EXPECT_EQ(connectLogs(), (QStringList{"SMTP client \"127.0.0.2\" connected",
                                        "SMTP client \"127.0.0.2\" disconnected"}));
}

TEST_F(SmtpServer, LimitAdmitsUpToOneMoreThanTheMaximumAndDeletedPcsDoNotCount) {
  cfg().SmtpCliLimOn = true;
  cfg().SmtpCliMax = 0;
  auto a = connect("127.0.0.1");
  EXPECT_EQ(line(*a), "220 Kolvane");  // nothing counted yet: 0 <= 0
  auto b = connect("127.0.0.2");
  ASSERT_TRUE(until([&] { return b->closed(); }));
  EXPECT_EQ(b->received(), "");
  EXPECT_EQ(ini("SmtpCliOnOff", "127.0.0.1"), "1");
  EXPECT_EQ(ini("SmtpCliOnOff", "127.0.0.2"), "0");
  EXPECT_EQ(ini("SmtpCliDateTime", "127.0.0.1"), regional::formatReal(t.clock.now()));

  a->close();
  ASSERT_TRUE(until([&] { return smtp().connectionCount() == 0; }));
  EXPECT_FALSE(smtp().deleteItem("nobody"));
  EXPECT_TRUE(smtp().deleteItem("127.0.0.1"));
  EXPECT_EQ(ini("SmtpCliDateTime", "127.0.0.1"), "0");

  // A refused PC while the server is idle leaves it idle.
  auto b2 = connect("127.0.0.2");
  ASSERT_TRUE(until([&] { return b2->closed(); }));
  auto c = connect("127.0.0.3");
  EXPECT_EQ(line(*c), "220 Kolvane");  // the deleted PC is no longer counted
  EXPECT_EQ(smtp().Clients().size(), 3);
  EXPECT_TRUE(smtp().Clients()[2].SetOn);

  // A deleted PC that comes back in the same run keeps its entry and its switch.
  auto a2 = connect("127.0.0.1");
  ASSERT_TRUE(until([&] { return smtp().Clients()[0].ConTime > 0; }));
  EXPECT_TRUE(smtp().Clients()[0].SetOn);
  EXPECT_EQ(smtp().Clients().size(), 3);
}

TEST_F(SmtpServer, RegistryLoadsEntriesWithATimeAndTheirSwitches) {
  IniFile f(t.path("Kolvane.ini"));
  f.setValue("SmtpCliDateTime", "pc1", regional::formatReal(46000.25));
  f.setValue("SmtpCliDateTime", "removed", "0");
  f.setValue("SmtpCliDateTime", "bad", "yesterday");
  f.setValue("SmtpCliOnOff", "pc1", "0");
  f.setValue("SmtpCliOnOff", "removed", "1");
  smtp().ClientsInit();
  const QList<tSocketClient>& c = smtp().Clients();
  ASSERT_EQ(c.size(), 2);
  EXPECT_EQ(c[0].Name, "pc1");
  EXPECT_EQ(c[0].ConTime, 46000.25);
  EXPECT_FALSE(c[0].SetOn);
  EXPECT_EQ(c[1].Name, "bad");
  EXPECT_EQ(c[1].ConTime, t.clock.now());
  EXPECT_TRUE(c[1].SetOn);
  EXPECT_EQ(t.logs(), QStringList{"Error Read SmtpCliDateTime bad"});
  EXPECT_EQ(smtp().SocketToNamePCorIPAdr(0), "!?!?!?!");

  // After a restart a deleted PC is new again, and the limit decides afresh.
  cfg().SmtpCliLimOn = true;
  cfg().SmtpCliMax = 0;
  auto r = connect("127.0.0.1");
  ASSERT_TRUE(until([&] { return r->closed(); }));  // "bad" is on and counts
  EXPECT_EQ(ini("SmtpCliOnOff", "127.0.0.1"), "0");
}

TEST_F(SmtpServer, CrLfLfAndCrEachEndALine) {
  cfg().Debug = true;
  auto a = connect();
  EXPECT_EQ(line(*a), "220 Kolvane");
  EXPECT_EQ(say(*a, "HELO a"), "250 Kolvane A");
  a->send("HELO b\n");
  EXPECT_EQ(line(*a), "250 Kolvane B");
  a->send("HELO c\r");
  EXPECT_EQ(line(*a), "250 Kolvane C");
  a->send("HE");
  settle();
  a->send("LO d\r");
  EXPECT_EQ(line(*a), "250 Kolvane D");
  a->send("\nNOOP\r\n");  // the LF of a CR LF split over two reads ends nothing more
  EXPECT_EQ(line(*a), "250 Kolvane");
  EXPECT_TRUE(t.logs().contains("SMTP DATA<-|NOOP|"));
}

TEST_F(SmtpServer, RepliesLeaveAsTheyAreSetWithoutTheCycle) {
  auto a = connect();
  QList<QByteArray> got;
  const auto waitFor = [&](int count) {
    return QTest::qWaitFor(
        [&] {
          got += a->take();
          return got.size() >= count;
        },
        5000);
  };
  EXPECT_TRUE(waitFor(1));
  a->send("HELO a\r\nNOOP\r\nRSET\r\n");  // a burst: every line is answered, in order
  EXPECT_TRUE(waitFor(4));
  EXPECT_EQ(got, (QList<QByteArray>{"220 Kolvane", "250 Kolvane A", "250 Kolvane", "250 Kolvane"}));
}

TEST_F(SmtpServer, PcIsRegisteredUnderItsAddressOrItsName) {
  auto a = connect();
  EXPECT_EQ(line(*a), "220 Kolvane");
  a->close();
  ASSERT_TRUE(until([&] { return smtp().connectionCount() == 0; }));
  cfg().DNSOff = false;
  const QString host = QHostInfo::fromName("127.0.0.1").hostName();
  auto b = connect();
  EXPECT_EQ(line(*b), "220 Kolvane");
  EXPECT_NE(smtp().mailRecv(host), nullptr);
  EXPECT_EQ(smtp().Clients()[0].Name, "127.0.0.1");
  if (host != "127.0.0.1") {
    EXPECT_EQ(smtp().Clients().size(), 2);
  }
}

TEST_F(SmtpServer, MailIsStoredAndAnsweredAndTheOperatorCanCutTheConnection) {
  auto a = connect();
  EXPECT_EQ(line(*a), "220 Kolvane");
  a->send("EHLO pc\r\n");
  QList<QByteArray> ehlo;
  until([&] {
    ehlo += a->take();
    return ehlo.size() >= 5;
  });
  EXPECT_EQ(ehlo, (QList<QByteArray>{"250-Kolvane PC", "250-8BITMIME", "250-PIPELINING",
                                     "250-SIZE 33554432", "250 AUTH PLAIN LOGIN"}));
  EXPECT_EQ(say(*a, "HELO pc"), "250 Kolvane PC");
  EXPECT_EQ(say(*a, "MAIL FROM:<me@lan>"), "250 Kolvane <me@lan> sender ok");
  EXPECT_EQ(say(*a, "RCPT TO:<+420603111222@sms.lan>"),
            "250 Kolvane <+420603111222@sms.lan> recipient ok");
  EXPECT_EQ(say(*a, "DATA"), "354 Kolvane");
  a->send("From: me@lan\r\nSubject: hi\r\n\r\nHello\r\n..dots\r\n");
  EXPECT_EQ(say(*a, "."), "250 Kolvane");
  const QList<tMailRec> jobs = t.records("Smtp.Tmp");
  ASSERT_EQ(jobs.size(), 1);
  EXPECT_EQ(jobs[0].NamePC, "127.0.0.1");
  EXPECT_EQ(jobs[0].Toe, "<+420603111222@sms.lan>");
  EXPECT_EQ(say(*a, "QUIT"), "221 Kolvane");
  EXPECT_EQ(cfg().EmlInCnt, 1);
  // The server closes once the reply has left.
  ASSERT_TRUE(until([&] { return a->closed() && smtp().connectionCount() == 0; }));

  a = connect();
  EXPECT_EQ(line(*a), "220 Kolvane");
  EXPECT_FALSE(smtp().disconnectClient("127.0.0.9"));
  EXPECT_TRUE(smtp().disconnectClient("127.0.0.1"));
  ASSERT_TRUE(until([&] { return a->closed() && smtp().connectionCount() == 0; }));
  EXPECT_TRUE(t.logs().contains("SMTP client \"127.0.0.1\" disconnected"));
  EXPECT_EQ(smtp().sessionCount(), 0u);
}

// The whole way in simulated time: the main cycle delivers the replies, the simulated modem
// sends the jobs.
TEST(SmtpToModem, ImportantMailJumpsTheQueue) {
  LinkTestGateway t("ComTcp=0\nInterval=0\nMemCheOn=0\nSendSMSDelay=100\nPriorityEmail=1\n");
  auto sim = std::make_shared<SimModem>(t.clock);
  t.g().hooks().openSerial = [sim](const SerialParams&) -> std::unique_ptr<DeviceLink> {
    return std::make_unique<SimModemDevice>(sim);
  };
  t.gs().cfg.PrioritySw = true;  // never loaded at start: the settings dialog switches it on
  const auto relation = [&] {
    BBt1Click(t.g(), StartSender::Button);
    return t.loop().runUntil([&] { return t.gs().RelationIdle; }, 120000);
  };
  ASSERT_TRUE(relation());  // opens the listener
  ASSERT_TRUE(t.gs().SmtpListen);

  Client c(t.g().listeners().smtpPort(), "127.0.0.1");
  const auto next = [&] {
    QList<QByteArray> lines;
    for (int i = 0; i < 5000 && lines.isEmpty(); ++i) {
      QTest::qWait(1);
      t.loop().run(10);
      lines = c.take();
    }
    return lines.value(0);
  };
  const auto say = [&](const QByteArray& text) {
    c.send(text + "\r\n");
    return next();
  };
  EXPECT_EQ(next(), "220 Kolvane");
  EXPECT_EQ(say("HELO pc"), "250 Kolvane PC");
  for (const QByteArray name : {"first", "second", "urgent"}) {
    say("MAIL FROM:<me@lan>");
    say("RCPT TO:<+420603000001@sms.lan>");
    EXPECT_EQ(say("DATA"), "354 Kolvane");
    const QByteArray flag = name == "urgent" ? "Importance: High\r\n" : "";
    c.send("Subject: " + name + "\r\n" + flag + "\r\n" + name + " mail\r\n");
    EXPECT_EQ(say("."), "250 Kolvane");
  }
  QFile priority(t.path("SmtpPriH.Tmp"));
  ASSERT_TRUE(priority.open(QIODevice::ReadOnly));
  EXPECT_EQ(priority.readAll().count("PosID: "), 1);
  ASSERT_TRUE(relation());
  QStringList texts;
  for (const modemsim::SentSms& sms : sim->modem.takeSent()) texts << sms.text;
  EXPECT_EQ(texts, (QStringList{"urgent mail", "first mail", "second mail"}));
}

}  // namespace
