#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QSslSocket>
#include <QTest>
#include <memory>

#include "unit/qt_print.h"

#include "mail/mail_listeners.h"
#include "mail/pop3_server.h"
#include "mail/smtp_server.h"
#include "mail/tls_identity.h"
#include "support/free_port.h"
#include "unit/store_test_gateway.h"

using namespace kolvane;

namespace {

constexpr int kWaitMs = 10000;

// A certificate made the way an administrator makes one, with the openssl tool.
std::shared_ptr<const TlsIdentity> testIdentity(const QString& folder) {
  const QString crt = folder + QStringLiteral("/t.crt");
  const QString key = folder + QStringLiteral("/t.key");
  QProcess::execute(
      QStringLiteral("openssl"),
      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days",
       "2", "-subj", "/CN=localhost", "-keyout", key, "-out", crt});
  auto id = std::make_shared<TlsIdentity>();
  QFile c(crt), k(key);
  if (c.open(QIODevice::ReadOnly)) id->certificate = QSslCertificate(c.readAll());
  if (k.open(QIODevice::ReadOnly)) id->key = QSslKey(k.readAll(), QSsl::Ec);
  return id;
}

// A mail program that can ask for TLS; lines are CR LF ended.
class Client {
 public:
  Client(quint16 port, bool tlsAtOnce) {
    QSslConfiguration c = socket.sslConfiguration();
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.setSslConfiguration(c);
    if (tlsAtOnce) {
      socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    } else {
      socket.connectToHost(QHostAddress::LocalHost, port);
    }
  }
  void send(const QByteArray& bytes) { socket.write(bytes); }
  // The next reply: its lines up to one without "-" after the code (SMTP), or up to the "."
  // of a multi-line one (POP3).
  QByteArray reply(bool multiLine = false) {
    const auto end = [&]() -> qsizetype {
      if (multiLine) {
        const qsizetype at = buffer.indexOf("\r\n.\r\n");
        return at < 0 ? -1 : at + 3;
      }
      for (qsizetype from = 0;;) {
        const qsizetype at = buffer.indexOf("\r\n", from);
        if (at < 0) return -1;
        if (at - from < 4 || buffer[from + 3] != '-') return at;
        from = at + 2;
      }
    };
    (void)QTest::qWaitFor(
        [&] {
          buffer += socket.readAll();
          return end() >= 0 || socket.state() == QAbstractSocket::UnconnectedState;
        },
        kWaitMs);
    const qsizetype at = end();
    if (at < 0) return "<nothing>";
    const QByteArray r = buffer.left(at);
    buffer.remove(0, at + 2);
    return r;
  }
  QByteArray say(const QByteArray& line, bool multiLine = false) {
    send(line + "\r\n");
    return reply(multiLine);
  }
  bool encrypt() {
    socket.startClientEncryption();
    return QTest::qWaitFor([&] { return socket.isEncrypted(); }, kWaitMs);
  }
  bool closed() {
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; },
                           kWaitMs);
  }

  QSslSocket socket;
  QByteArray buffer;
};

class MailTls : public ::testing::Test {
 protected:
  MailTls() {
    cfg().DNSOff = true;
    MailListeners& l = t.g().listeners();
    EXPECT_TRUE(l.listenSmtp(FreePort()));
    EXPECT_TRUE(l.listenPop3(FreePort()));
    EXPECT_TRUE(l.listenSmtps(FreePort()));
    EXPECT_TRUE(l.listenPop3s(FreePort()));
    t.gs().SmtpListen = t.gs().Pop3Listen = true;
    t.gs().MailTls = testIdentity(t.dir.path());
    t.logs();
  }
  Settings& cfg() { return t.gs().cfg; }

  std::unique_ptr<Client> smtp(bool tlsAtOnce = false) {
    MailListeners& l = t.g().listeners();
    auto c = std::make_unique<Client>(tlsAtOnce ? l.smtpsPort() : l.smtpPort(), tlsAtOnce);
    EXPECT_EQ(c->reply(), "220 Kolvane");
    return c;
  }
  std::unique_ptr<Client> pop3(bool tlsAtOnce = false) {
    MailListeners& l = t.g().listeners();
    const std::size_t before = t.g().pop3().connectionCount();
    auto c = std::make_unique<Client>(tlsAtOnce ? l.pop3sPort() : l.pop3Port(), tlsAtOnce);
    // The greeting waits for the pause after the connect.
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.g().pop3().connectionCount() > before; }, kWaitMs));
    t.clock.advance(TdmPOP3::kConnectPauseMs);
    t.g().pop3().deliverReply();
    EXPECT_EQ(c->reply(), "+OK POP3 server ready");
    return c;
  }
  QStringList tlsFailures() { return t.logs().filter(QStringLiteral("TLS handshake")); }

  StoreTestGateway t;
};

const QByteArray kEhlo = "250-Kolvane\r\n250-8BITMIME\r\n250-PIPELINING\r\n250";
const QByteArray kEhloInClear = kEhlo + "-SIZE 1048576\r\n250-AUTH PLAIN LOGIN\r\n250 STARTTLS";
const QByteArray kEhloOverTls = kEhlo + "-SIZE 1048576\r\n250 AUTH PLAIN LOGIN";
// Encryption required: no AUTH in clear.
const QByteArray kEhloTlsFirst = kEhlo + "-SIZE 1048576\r\n250 STARTTLS";

TEST_F(MailTls, SmtpStartsTlsAndDropsWhatWasPipelinedAfterIt) {
  cfg().Ehlo500 = false;
  cfg().HeloAdd = false;
  cfg().SmtpMaxMailMB = 1;
  auto c = smtp();
  EXPECT_EQ(c->say("EHLO pc"), kEhloInClear);
  EXPECT_EQ(c->say("MAIL FROM:<before@lan>"), "250 Kolvane <before@lan> sender ok");
  // An injected command behind STARTTLS is not taken, in the clear or after the handshake.
  EXPECT_EQ(c->say("STARTTLS\r\nMAIL FROM:<injected@lan>"), "220 2.0.0 Ready to start TLS");
  ASSERT_TRUE(c->encrypt());
  EXPECT_EQ(c->say("RCPT TO:<+420603111222@sms.lan>"),
            "503 5.5.1 Kolvane bad sequence of commands");
  EXPECT_EQ(c->say("EHLO pc"), kEhloOverTls);
  EXPECT_EQ(c->say("STARTTLS"), "454 4.7.0 TLS not available");
  EXPECT_EQ(c->say("MAIL FROM:<a@lan>"), "250 Kolvane <a@lan> sender ok");
  EXPECT_EQ(c->say("RCPT TO:<+420603111222@sms.lan>"),
            "250 Kolvane <+420603111222@sms.lan> recipient ok");
  EXPECT_EQ(c->say("DATA"), "354 Kolvane");
  EXPECT_EQ(c->say("Subject: s\r\n\r\nover TLS\r\n."), "250 Kolvane");
  ASSERT_EQ(t.records("Smtp.Tmp").size(), 1);
  EXPECT_EQ(t.records("Smtp.Tmp")[0].Toe, "<+420603111222@sms.lan>");
}

TEST_F(MailTls, RequiredTlsRefusesEverythingInClear) {
  cfg().MailTlsRequired = true;
  cfg().Ehlo500 = true;  // EHLO is answered all the same
  cfg().HeloAdd = false;
  cfg().SmtpMaxMailMB = 1;
  auto c = smtp();
  EXPECT_EQ(c->say("EHLO pc"), kEhloTlsFirst);
  EXPECT_EQ(c->say("MAIL FROM:<a@lan>"), "530 5.7.0 Must issue a STARTTLS command first");
  EXPECT_EQ(c->say("AUTH PLAIN AGEAYg=="), "538 5.7.11 Encryption required");
  EXPECT_EQ(c->say("RCPT TO:<+420603111222@sms.lan>"),
            "503 5.5.1 Kolvane bad sequence of commands");
  EXPECT_EQ(c->say("STARTTLS"), "220 2.0.0 Ready to start TLS");
  ASSERT_TRUE(c->encrypt());
  EXPECT_EQ(c->say("MAIL FROM:<a@lan>"), "250 Kolvane <a@lan> sender ok");

  auto p = pop3();
  EXPECT_EQ(p->say("USER pc"), "-ERR [AUTH] TLS required");
  EXPECT_EQ(p->say("PASS x"), "-ERR [AUTH] TLS required");
  EXPECT_EQ(p->say("STAT"), "-ERR");
  EXPECT_EQ(p->say("STLS"), "+OK Begin TLS negotiation");
  ASSERT_TRUE(p->encrypt());
  EXPECT_EQ(p->say("USER pc"), "+OK");

  // Implicit TLS counts as encrypted.
  auto s = smtp(true);
  EXPECT_EQ(s->say("MAIL FROM:<a@lan>"), "250 Kolvane <a@lan> sender ok");
  auto q = pop3(true);
  EXPECT_EQ(q->say("USER pc"), "+OK");
}

TEST_F(MailTls, Pop3StartsTlsAfreshAndDropsWhatWasPipelinedAfterIt) {
  const QByteArray capa =
      "+OK Capability list follows\r\nUSER\r\nUIDL\r\nTOP\r\nRESP-CODES\r\nPIPELINING\r\n";
  auto p = pop3();
  EXPECT_EQ(p->say("CAPA", true), capa + "STLS\r\n.");
  EXPECT_EQ(p->say("STLS\r\nUSER injected"), "+OK Begin TLS negotiation");
  ASSERT_TRUE(p->encrypt());
  // No USER was taken: the session is in its authorization state.
  EXPECT_EQ(p->say("STAT"), "-ERR");
  EXPECT_EQ(p->say("CAPA", true), capa + ".");
  EXPECT_EQ(p->say("STLS"), "-ERR");
  EXPECT_EQ(p->say("USER pc"), "+OK");
  EXPECT_EQ(p->say("STAT"), "+OK 0 0");
}

TEST_F(MailTls, TlsPortsGreetAfterTheHandshakeAndAFailedOneIsLoggedOnceAnHour) {
  cfg().Ehlo500 = false;
  cfg().HeloAdd = false;
  cfg().SmtpMaxMailMB = 1;
  auto s = smtp(true);
  EXPECT_EQ(s->say("EHLO pc"), kEhloOverTls);
  EXPECT_EQ(s->say("STARTTLS"), "454 4.7.0 TLS not available");
  auto p = pop3(true);
  EXPECT_EQ(p->say("STLS"), "-ERR");
  t.logs();
  // A client in clear on a TLS port, twice, and one that ends a STARTTLS with garbage.
  for (int i = 0; i < 2; ++i) {
    QTcpSocket plain;
    plain.connectToHost(QHostAddress::LocalHost, t.g().listeners().smtpsPort());
    ASSERT_TRUE(plain.waitForConnected(kWaitMs));
    plain.write("EHLO pc\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return plain.state() == QAbstractSocket::UnconnectedState; },
                                kWaitMs));
  }
  auto c = smtp();
  EXPECT_EQ(c->say("STARTTLS"), "220 2.0.0 Ready to start TLS");
  c->send("not a handshake\r\n");
  EXPECT_TRUE(c->closed());
  const QStringList failures = tlsFailures();
  ASSERT_EQ(failures.size(), 1) << failures.join('\n').toStdString();
  EXPECT_TRUE(failures[0].startsWith("SMTPS TLS handshake with 127.0.0.1 failed ("));
  // The sessions over TLS went on meanwhile.
  EXPECT_EQ(s->say("NOOP"), "250 Kolvane");
  EXPECT_EQ(p->say("NOOP"), "+OK");
}

TEST_F(MailTls, WithoutACertificateNoTlsIsOffered) {
  t.gs().MailTls.reset();
  cfg().Ehlo500 = false;
  cfg().HeloAdd = false;
  cfg().SmtpMaxMailMB = 1;
  auto c = smtp();
  EXPECT_EQ(c->say("EHLO pc"), kEhloOverTls);
  EXPECT_EQ(c->say("STARTTLS"), "454 4.7.0 TLS not available");
  EXPECT_EQ(c->say("NOOP"), "250 Kolvane");
  auto p = pop3();
  EXPECT_EQ(p->say("STLS"), "-ERR");
  EXPECT_EQ(p->say("USER pc"), "+OK");
}

}  // namespace
