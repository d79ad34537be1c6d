#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>

#include "mail/tls_identity.h"
#include "mail/tls_pem.h"
#include "settings/language.h"
#include "unit/qt_print.h"

using namespace kolvane;

namespace {

class TlsIdentityTest : public ::testing::Test {
 protected:
  TlsIdentity load(const QString& host, const QString& cert = {}, const QString& key = {}) {
    lines.clear();
    return loadTlsIdentity({dir.path(), cert, key, host, {"192.0.2.7", "fe80::1%eth0"}}, texts,
                           [this](const QString& l) { lines << l; });
  }
  QString path(const QString& name) const { return dir.filePath(name); }
  void write(const QString& name, const QByteArray& bytes) const {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  QStringList linesWith(const char* part) const { return lines.filter(QLatin1String(part)); }

  QTemporaryDir dir;
  Language texts{QString()};
  QStringList lines;
};

PemPair made(const char* host) {
  const auto pem = makeSelfSignedPem(QLatin1String(host), {}, nullptr);
  return pem ? *pem : PemPair{};
}

}  // namespace

TEST_F(TlsIdentityTest, OwnCertificateIsMadeOnceKeptPrivateAndRemadeForANewHostName) {
  const TlsIdentity first = load("alpha");
  ASSERT_TRUE(first.valid());
  EXPECT_TRUE(first.own);
  EXPECT_EQ(first.key.algorithm(), QSsl::Ec);
  EXPECT_EQ(QFile::permissions(path("Kolvane.key")),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
  EXPECT_TRUE(QFile::exists(path("Kolvane.crt")));
  EXPECT_EQ(first.certificate.subjectInfo(QSslCertificate::CommonName), QStringList{"alpha"});
  const auto alt = first.certificate.subjectAlternativeNames();
  EXPECT_TRUE(alt.values(QSsl::DnsEntry).contains("alpha"));
  EXPECT_TRUE(alt.values(QSsl::IpAddressEntry).contains("192.0.2.7"));
  EXPECT_GT(first.certificate.expiryDate(), QDateTime::currentDateTimeUtc().addYears(9));
  EXPECT_EQ(linesWith("was made for alpha").size(), 1);
  EXPECT_EQ(first.fingerprint.size(), 32 * 3 - 1);

  const TlsIdentity again = load("ALPHA");
  EXPECT_EQ(again.fingerprint, first.fingerprint);
  EXPECT_TRUE(linesWith("was made").isEmpty());

  const TlsIdentity moved = load("beta");
  EXPECT_NE(moved.fingerprint, first.fingerprint);
  EXPECT_EQ(linesWith("changed from alpha to beta").size(), 1);
  EXPECT_EQ(load("beta").fingerprint, moved.fingerprint);
}

TEST_F(TlsIdentityTest, NamedCertificateServesOnlyWhenItCan) {
  const PemPair named = made("named"), other = made("other");
  write("named.crt", named.certificate);
  write("named.key", named.key);
  write("both.pem", named.certificate + named.key);
  write("other.key", other.key);
  write("garbage.crt", "not a certificate\n");
  struct Case {
    const char* cert;
    const char* key;
    const char* why;  // empty: the named one serves
  } const cases[] = {
      {"named.crt", "named.key", ""},
      {"both.pem", "", ""},
      {"missing.crt", "named.key", "cannot be read"},
      {"garbage.crt", "named.key", "holds no PEM certificate"},
      {"named.crt", "missing.key", "its key"},
      {"named.crt", "garbage.crt", "holds no RSA or EC private key"},
      {"named.crt", "other.key", "does not belong to it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cert) + " " + c.key);
    const TlsIdentity id = load("host", c.cert, c.key);
    ASSERT_TRUE(id.valid());
    EXPECT_EQ(id.own, *c.why != 0);
    const QStringList why = linesWith("is not used");
    if (*c.why) {
      ASSERT_EQ(why.size(), 1);
      EXPECT_TRUE(why[0].contains(QLatin1String(c.why))) << why[0].toStdString();
    } else {
      EXPECT_TRUE(why.isEmpty());
      EXPECT_EQ(id.certificate.subjectInfo(QSslCertificate::CommonName), QStringList{"named"});
    }
  }
}

// A certificate and RSA key the openssl program made, by absolute path.
TEST_F(TlsIdentityTest, NamedRsaCertificateOfTheOpensslProgramServes) {
  QProcess p;
  p.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
                      "/CN=office", "-keyout", path("rsa.key"), "-out", path("rsa.crt")});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) GTEST_SKIP() << "no openssl program";
  const TlsIdentity id = load("host", path("rsa.crt"), path("rsa.key"));
  ASSERT_TRUE(id.valid());
  EXPECT_FALSE(id.own);
  EXPECT_EQ(id.key.algorithm(), QSsl::Rsa);
  p.start("openssl", {"x509", "-noout", "-fingerprint", "-sha256", "-in", path("rsa.crt")});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_TRUE(p.readAllStandardOutput().contains(id.fingerprint.toLatin1()));
}

// A client that trusts the certificate, and nothing else, finishes the handshake by host name.
TEST_F(TlsIdentityTest, ServerConfigurationCompletesAHandshakeOfATrustingClient) {
  const TlsIdentity id = load("alpha");
  ASSERT_TRUE(id.valid());
  QSslServer server;
  server.setSslConfiguration(serverTlsConfiguration(id));
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  EXPECT_EQ(server.sslConfiguration().protocol(), QSsl::TlsV1_2OrLater);
  QSslSocket client;
  QSslConfiguration trust = client.sslConfiguration();
  trust.setCaCertificates({id.certificate});
  client.setSslConfiguration(trust);
  QSignalSpy encrypted(&client, &QSslSocket::encrypted);
  client.connectToHostEncrypted("127.0.0.1", server.serverPort(), "alpha");
  EXPECT_TRUE(encrypted.wait(10000)) << client.errorString().toStdString();
  EXPECT_EQ(client.peerCertificate(), id.certificate);
}
