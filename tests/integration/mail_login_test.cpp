#include <gtest/gtest.h>
#include <QTcpSocket>
#include <QTest>
#include <functional>
#include <memory>

#include "unit/qt_print.h"

#include "mail/login_throttle.h"
#include "mail/mail_accounts.h"
#include "mail/mail_listeners.h"
#include "mail/mail_login.h"
#include "mail/pop3_routing.h"
#include "mail/pop3_server.h"
#include "mail/smtp_server.h"
#include "platform/ini_file.h"
#include "support/free_port.h"
#include "support/sms_record.h"
#include "unit/store_test_gateway.h"

using namespace kolvane;

namespace {

constexpr int kWaitMs = 5000;

QByteArray b64(const QByteArray& text) {
  return text.toBase64();
}

// Both mail servers on free ports; clients are real sockets from a loopback address of their
// choice, and the main cycle's delivery is run by hand on the manual clock.
class MailLogin : public ::testing::Test {
 protected:
  MailLogin() {
    cfg().DNSOff = true;
    cfg().MailTrustedHosts = QStringLiteral("127.0.0.1");
    EXPECT_TRUE(t.g().listeners().listenSmtp(FreePort()));
    EXPECT_TRUE(t.g().listeners().listenPop3(FreePort()));
    t.gs().SmtpListen = t.gs().Pop3Listen = true;
    t.logs();
  }

  Settings& cfg() { return t.gs().cfg; }
  void setAccounts() {
    // Hashing is slow by design: once for the whole suite.
    static const std::vector<MailUser> users = {{QStringLiteral("Alice"), HashPassword("alice-pw")},
                                                {QStringLiteral("bob"), HashPassword("bob-pw")}};
    cfg().MailUsers = users;
  }

  std::unique_ptr<QTcpSocket> connect(quint16 port, const char* from) {
    auto c = std::make_unique<QTcpSocket>();
    c->bind(QHostAddress(QString::fromLatin1(from)));
    c->connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(c->waitForConnected(kWaitMs));
    return c;
  }
  std::unique_ptr<QTcpSocket> smtp(const char* from) {
    auto c = connect(t.g().listeners().smtpPort(), from);
    EXPECT_EQ(answer(*c), "220 Kolvane");
    return c;
  }
  std::unique_ptr<QTcpSocket> pop3(const char* from) {
    auto c = connect(t.g().listeners().pop3Port(), from);
    // The greeting waits for the pause after the connect.
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.g().pop3().replyPending(); }, kWaitMs));
    cycle(TdmPOP3::kConnectPauseMs);
    EXPECT_EQ(answer(*c), "+OK POP3 server ready");
    return c;
  }
  // One cycle: the clock moves on by ms, then both servers deliver.
  void cycle(Tick ms = 0) {
    t.clock.advance(ms);
    t.g().smtp().deliverReply();
    t.g().pop3().deliverReply();
  }
  // The next answer of so many lines (or one ended by a "." line), joined by "|"; what came
  // within the wait, while the clock stands still.
  QByteArray answer(QTcpSocket& c, int waitMs = kWaitMs, int lines = 1, bool dotted = false) {
    QByteArray got;
    (void)QTest::qWaitFor(
        [&] {
          cycle();
          got += c.readAll();
          return got.count("\r\n") >= lines && (!dotted || got.endsWith("\r\n.\r\n"));
        },
        waitMs);
    if (got.endsWith("\r\n")) got.chop(2);
    return got.replace("\r\n", "|");
  }
  QByteArray say(QTcpSocket& c, const QByteArray& line, int lines = 1, bool dotted = false) {
    c.write(line + "\r\n");
    return answer(c, kWaitMs, lines, dotted);
  }
  void addRecord(const QByteArray& id, const QByteArray& namePC, const QByteArray& text) {
    t.append(QStringLiteral("Pop3.Tmp"), MailRecToStr(SmsRecord(id, namePC, text)));
  }
  // The texts a POP3 login is offered, after USER and PASS; the answer to PASS when refused.
  QList<QByteArray> mailbox(const char* from, const QByteArray& user, const QByteArray& pass) {
    auto c = pop3(from);
    EXPECT_EQ(say(*c, "USER " + user), "+OK");
    const QByteArray passed = say(*c, "PASS " + pass);
    if (passed != "+OK") return {passed};
    QList<QByteArray> texts;
    const int n = say(*c, "STAT").split(' ').value(1).toInt();
    for (int i = 1; i <= n; ++i) {
      const QByteArray m = say(*c, "RETR " + QByteArray::number(i), 1, true);
      texts << m.mid(m.lastIndexOf("||") + 2).chopped(2);
    }
    EXPECT_EQ(say(*c, "QUIT"), "+OK");
    return texts;
  }
  QStringList logsWith(const QString& part) {
    QStringList out;
    for (const QString& l : t.logs()) {
      if (l.contains(part)) out << l;
    }
    return out;
  }

  StoreTestGateway t;
};

TEST_F(MailLogin, SmtpAnswers) {
  const QByteArray plainAlice = "AUTH PLAIN " + b64(QByteArray("\0Alice\0alice-pw", 15));
  const QByteArray plainWrong = "AUTH PLAIN " + b64(QByteArray("\0alice\0guess", 12));
  const QByteArray mail = "MAIL FROM:<me@lan>";
  const QByteArray mailOk = "250 Kolvane <me@lan> sender ok";
  struct Case {
    bool accounts;
    const char* from;
    QList<std::pair<QByteArray, QByteArray>> dialogue;  // line, answer
    const char* account = nullptr;                      // the session's name at its end
  };
  const Case cases[] = {
      // Without accounts any credentials do, and none are needed.
      {false, "127.0.0.2", {{mail, mailOk}}},
      {false,
       "127.0.0.2",
       {{"AUTH LOGIN", "334 VXNlcm5hbWU6"},
        {b64("anyone"), "334 UGFzc3dvcmQ6"},
        {b64("anything"), "235 2.7.0 Authentication successful"},
        {plainWrong, "503 5.5.1 Kolvane already authenticated"},
        {mail, mailOk}}},
      {false,
       "127.0.0.2",
       {{"AUTH PLAIN", "334 "},
        {"*", "501 5.7.0 Authentication cancelled"},
        {"AUTH PLAIN !!!", "501 5.5.2 Kolvane cannot decode the response"},
        {"AUTH CRAM-MD5", "504 5.5.4 Kolvane unrecognized authentication type"},
        {"AUTH PLAIN", "334 "},
        {b64(QByteArray("\0x\0y", 4)), "235 2.7.0 Authentication successful"}}},
      // With accounts an untrusted address logs in first.
      {true,
       "127.0.0.2",
       {{mail, "530 5.7.0 Authentication required"},
        {plainWrong, "535 5.7.8 Authentication credentials invalid"},
        {"AUTH LOGIN " + b64("nobody"), "334 UGFzc3dvcmQ6"},
        {b64("alice-pw"), "535 5.7.8 Authentication credentials invalid"},
        {"AUTH LOGIN", "334 VXNlcm5hbWU6"},
        {b64("ALICE"), "334 UGFzc3dvcmQ6"},
        {b64("alice-pw"), "235 2.7.0 Authentication successful"},
        {mail, mailOk}},
       "Alice"},
      {true,
       "127.0.0.2",
       {{"AUTH PLAIN " + b64(QByteArray("bob\0Alice\0alice-pw", 18)),
         "535 5.7.8 Authentication credentials invalid"},
        {plainAlice, "235 2.7.0 Authentication successful"}},
       "Alice"},
      // The machine's own scripts send as before.
      {true, "127.0.0.1", {{mail, mailOk}}},
  };
  for (const Case& k : cases) {
    cfg().MailUsers.clear();
    if (k.accounts) setAccounts();
    auto c = smtp(k.from);
    EXPECT_TRUE(say(*c, "EHLO pc", 6).endsWith("|250-AUTH PLAIN LOGIN|250 STARTTLS"));
    for (const auto& [line, expected] : k.dialogue) {
      EXPECT_EQ(say(*c, line), expected)
          << k.accounts << ' ' << k.from << ' ' << line.toStdString();
    }
    // The account stands where the PC stood, as written in the accounts.
    const TMailRecv* recv =
        t.g().smtp().mailRecv(QString::fromLatin1(k.account ? k.account : k.from));
    ASSERT_NE(recv, nullptr);
    EXPECT_EQ(recv->NamePC_IPAdr, k.account ? k.account : k.from);
  }
  const auto& clients = t.g().smtp().Clients();
  EXPECT_TRUE(std::any_of(clients.begin(), clients.end(),
                          [](const tSocketClient& e) { return e.Name == "Alice"; }));
  EXPECT_FALSE(std::any_of(clients.begin(), clients.end(), [](const tSocketClient& e) {
    return e.Name == "127.0.0.2" && e.ConTime > 0 && e.ConOn;
  }));
}

TEST_F(MailLogin, Pop3Answers) {
  auto c = pop3("127.0.0.2");
  EXPECT_EQ(say(*c, "USER x"), "+OK");
  EXPECT_EQ(say(*c, "PASS y"), "+OK");
  EXPECT_EQ(say(*c, "STAT"), "+OK 0 0");
  setAccounts();
  t.logs();
  const QByteArray refused = "-ERR [AUTH] invalid user name or password";
  auto d = pop3("127.0.0.2");
  EXPECT_EQ(say(*d, "STAT"), "-ERR");
  EXPECT_EQ(say(*d, "PASS alice-pw"), "-ERR USER first");
  for (const QByteArray& user : {QByteArray("Alice"), QByteArray("nobody")}) {
    EXPECT_EQ(say(*d, "USER " + user), "+OK");
    EXPECT_EQ(say(*d, "PASS bob-pw"), refused);
  }
  EXPECT_EQ(say(*d, "USER alice"), "+OK");
  EXPECT_EQ(say(*d, "PASS alice-pw"), "+OK");
  EXPECT_EQ(say(*d, "STAT"), "+OK 0 0");
  EXPECT_EQ(say(*d, "USER bob"), "-ERR already logged in");
  EXPECT_EQ(logsWith("logged in"), QStringList{"POP3 client \"Alice\" logged in"});
  const auto& clients = t.g().pop3().Clients();
  EXPECT_TRUE(std::any_of(clients.begin(), clients.end(),
                          [](const tSocketClient& e) { return e.Name == "Alice" && e.ConOn; }));
}

TEST_F(MailLogin, TheAccountIsTheMailbox) {
  setAccounts();
  // The PC "alice" the gateway knew: the account takes over its position.
  t.g().settingsFile()->setValue(QStringLiteral("ClientsPos"), QStringLiteral("alice"),
                                 QStringLiteral("260201000001"));
  addRecord("260201000001", "Alice", "old for alice");
  addRecord("260201000002", "Alice", "for alice");
  addRecord("260201000003", "bob", "for bob");
  addRecord("260201000004", "", "for anyone");
  EXPECT_EQ(RouteNames(t.g(), "+420777111222", "#BOB# hi"), "BOB");
  // Two logins from one address get each their own, never the other's.
  EXPECT_EQ(mailbox("127.0.0.2", "bob", "bob-pw"), (QList<QByteArray>{"for bob", "for anyone"}));
  EXPECT_EQ(mailbox("127.0.0.2", "alice", "alice-pw"),
            (QList<QByteArray>{"for alice", "for anyone"}));
  EXPECT_EQ(mailbox("127.0.0.1", "alice", "bob-pw"),
            QList<QByteArray>{"-ERR [AUTH] invalid user name or password"});
  // The basket is a name like any other.
  cfg().BasketOn = true;
  cfg().BasketName = QStringLiteral("bob");
  addRecord("260201000005", "", "for the basket");
  EXPECT_EQ(mailbox("127.0.0.1", "alice", "alice-pw"), QList<QByteArray>{});
  EXPECT_EQ(mailbox("127.0.0.3", "bob", "bob-pw"), QList<QByteArray>{"for the basket"});
  // The account takes over the switch of the PC of its name.
  IniFile& ini = *t.g().settingsFile();
  ini.setValue(QStringLiteral("Pop3CliDateTime"), QStringLiteral("BOB"), QStringLiteral("46000"));
  ini.setValue(QStringLiteral("Pop3CliOnOff"), QStringLiteral("BOB"), QStringLiteral("0"));
  t.g().pop3().ClientsInit();
  EXPECT_EQ(mailbox("127.0.0.1", "bob", "bob-pw"), QList<QByteArray>{"-ERR POP3 access denied"});
  const auto& clients = t.g().pop3().Clients();
  EXPECT_TRUE(std::any_of(clients.begin(), clients.end(),
                          [](const tSocketClient& e) { return e.Name == "bob" && !e.SetOn; }));
}

TEST_F(MailLogin, WrongPasswordsDelayTheAddressesAnswers) {
  setAccounts();
  const QByteArray refused = "-ERR [AUTH] invalid user name or password";
  auto c = pop3("127.0.0.2");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(say(*c, "USER bob"), "+OK");
    EXPECT_EQ(say(*c, "PASS guess"), refused);
  }
  EXPECT_EQ(logsWith("within a minute"),
            QStringList{"POP3: 3 wrong passwords from 127.0.0.2 within a minute: its login "
                        "answers wait 2 s"});
  // The next answer waits 2 s on the clock, and the lines after it wait with it; the loop
  // goes on meanwhile.
  c->write("USER bob\r\nPASS bob-pw\r\nSTAT\r\n");
  EXPECT_EQ(answer(*c), "+OK");
  EXPECT_EQ(answer(*c, 300), "");
  cycle(1999);
  EXPECT_EQ(answer(*c, 300), "");
  cycle(1);
  EXPECT_EQ(answer(*c, kWaitMs, 2), "+OK|+OK 0 0");
  // A right login forgot the address on both servers.
  auto s = smtp("127.0.0.2");
  const QByteArray wrong = "AUTH PLAIN " + b64(QByteArray("\0bob\0x", 6));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(say(*s, wrong), "535 5.7.8 Authentication credentials invalid") << i;
  }
  s->write(wrong + "\r\n");
  EXPECT_EQ(answer(*s, 300), "");
  cycle(2000);
  EXPECT_EQ(answer(*s), "535 5.7.8 Authentication credentials invalid");
  // The count is the address's: switching servers gains the guesser nothing.
  auto c2 = pop3("127.0.0.2");
  EXPECT_EQ(say(*c2, "USER bob"), "+OK");
  c2->write("PASS guess\r\n");
  EXPECT_EQ(answer(*c2, 300), "");
  cycle(4000);
  EXPECT_EQ(answer(*c2), refused);
}

TEST(LoginThrottle, DelaysDoubleAndEnd) {
  LoginThrottle th;
  Tick now = 1000;
  std::vector<Tick> delays;
  for (int i = 0; i < 10; ++i) delays.push_back(th.checked("a", false, now += 1000).delayMs);
  EXPECT_EQ(delays, (std::vector<Tick>{0, 0, 0, 2000, 4000, 8000, 16000, 32000, 60000, 60000}));
  EXPECT_EQ(th.checked("b", false, now).delayMs, 0u);  // each address on its own
  EXPECT_EQ(th.checked("a", true, now).delayMs, 60000u);
  EXPECT_EQ(th.checked("a", false, now).delayMs, 0u);  // a right login forgot it
  for (int i = 0; i < 3; ++i) th.checked("c", false, now);
  EXPECT_EQ(th.checked("c", false, now + LoginThrottle::kWindowMs).delayMs, 0u);  // a quiet minute
  for (int i = 0; i < 3000; ++i) th.checked(QString::number(i), false, now + i);
  EXPECT_EQ(th.size(), LoginThrottle::kMax);
}

TEST(TrustedHosts, AddressesAndSubnets) {
  const struct {
    const char* list;
    const char* peer;
    bool trusted;
  } cases[] = {
      {"127.0.0.1 ::1", "127.0.0.1", true},
      {"127.0.0.1 ::1", "::ffff:127.0.0.1", true},
      {"127.0.0.1 ::1", "::1", true},
      {"127.0.0.1 ::1", "127.0.0.2", false},
      {"10.0.0.0/8, 192.168.1.5", "10.1.2.3", true},
      {"10.0.0.0/8,192.168.1.5", "192.168.1.5", true},
      {"", "127.0.0.1", false},
      {"nonsense", "127.0.0.1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsTrustedHost(QString::fromLatin1(c.list), QHostAddress(QString::fromLatin1(c.peer))),
              c.trusted)
        << c.list << " / " << c.peer;
  }
}

}  // namespace
