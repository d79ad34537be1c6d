#include "mail/tls_identity.h"

#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QSslSocket>
#include <QSysInfo>
#include <optional>

#include "context/gateway_context.h"
#include "mail/tls_pem.h"
#include "platform/private_files.h"
#include "settings/language.h"

namespace kolvane {

namespace {

constexpr char kOwnCert[] = "Kolvane.crt";
constexpr char kOwnKey[] = "Kolvane.key";
// The longest common name a certificate may hold.
constexpr qsizetype kCnMax = 64;

QString native(const QString& path) {
  return QDir::toNativeSeparators(path);
}

QString fingerprintOf(const QSslCertificate& c) {
  return QString::fromLatin1(c.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

// The file's bytes, or why it cannot be read.
std::optional<QByteArray> readFile(const QString& path, QString* error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    *error = f.errorString();
    return std::nullopt;
  }
  return f.readAll();
}

// A certificate and key from their files; empty *why when they serve.
TlsIdentity readIdentity(const QString& certPath, const QString& keyPath, const Language& texts,
                         QString* why) {
  QString error;
  const auto certPem = readFile(certPath, &error);
  if (!certPem) {
    *why = texts.Text(532, {error});
    return TlsIdentity();
  }
  const QList<QSslCertificate> certs = QSslCertificate::fromData(*certPem, QSsl::Pem);
  if (certs.isEmpty() || certs.first().isNull()) {
    *why = texts.Text(533);
    return TlsIdentity();
  }
  const auto keyPem = keyPath == certPath ? certPem : readFile(keyPath, &error);
  if (!keyPem) {
    *why = texts.Text(534, {native(keyPath), error});
    return TlsIdentity();
  }
  TlsIdentity id;
  id.key = readPrivateKeyPem(*keyPem);
  if (id.key.isNull()) {
    *why = texts.Text(535, {native(keyPath)});
    return TlsIdentity();
  }
  if (!keyMatchesCertificate(*certPem, *keyPem)) {
    *why = texts.Text(536, {native(keyPath)});
    return TlsIdentity();
  }
  const QSslCertificate& cert = certs.first();
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const auto day = [](const QDateTime& t) { return t.toUTC().toString(Qt::ISODate); };
  if (cert.expiryDate() < now) {
    *why = texts.Text(537, {day(cert.expiryDate())});
    return TlsIdentity();
  }
  if (cert.effectiveDate() > now) {
    *why = texts.Text(538, {day(cert.effectiveDate())});
    return TlsIdentity();
  }
  id.certificate = cert;
  id.chain = certs.mid(1);
  id.fingerprint = fingerprintOf(cert);
  id.certFile = native(certPath);
  return id;
}

// Writes the file afresh, for the owner only whatever the old one allowed.
bool writePrivate(const QString& path, const QByteArray& bytes) {
  QFile::remove(path);
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::NewOnly, kPrivateFile) &&
         f.write(bytes) == bytes.size() && f.flush();
}

TlsIdentity makeOwn(const TlsSources& s, const QString& host, const Language& texts,
                    const TlsLog& log) {
  const QString certPath = QDir(s.folder).filePath(QLatin1String(kOwnCert));
  const QString keyPath = QDir(s.folder).filePath(QLatin1String(kOwnKey));
  QString error;
  const auto pem = makeSelfSignedPem(host, s.addresses, &error);
  if (!pem) {
    log(texts.Text(543, {error}));
    return TlsIdentity();
  }
  TlsIdentity id;
  id.certificate = QSslCertificate(pem->certificate, QSsl::Pem);
  id.key = readPrivateKeyPem(pem->key);
  id.fingerprint = fingerprintOf(id.certificate);
  id.certFile = native(certPath);
  id.own = true;
  // The key first: a certificate without its key is made anew at the next start.
  if (!writePrivate(keyPath, pem->key) || !writePrivate(certPath, pem->certificate))
    log(texts.Text(542, {native(QDir(s.folder).path())}));
  log(texts.Text(539, {id.certFile, host}));
  return id;
}

// The gateway's own certificate: the one in the folder while it serves this host name, else a
// new one. A changed address does not renew it: every mail program would have to accept it anew
// whenever the office's DHCP hands out another address.
TlsIdentity ownIdentity(const TlsSources& s, const Language& texts, const TlsLog& log) {
  const QString host =
      (s.hostName.isEmpty() ? QStringLiteral("localhost") : s.hostName).left(kCnMax);
  const QString certPath = QDir(s.folder).filePath(QLatin1String(kOwnCert));
  const QString keyPath = QDir(s.folder).filePath(QLatin1String(kOwnKey));
  if (!QFile::exists(certPath) && !QFile::exists(keyPath)) return makeOwn(s, host, texts, log);
  QString why;
  TlsIdentity id = readIdentity(certPath, keyPath, texts, &why);
  if (!why.isEmpty()) {
    log(texts.Text(541, {native(certPath), why}));
    return makeOwn(s, host, texts, log);
  }
  const QString made = id.certificate.subjectInfo(QSslCertificate::CommonName).value(0);
  if (made.compare(host, Qt::CaseInsensitive) != 0) {
    log(texts.Text(540, {made, host}));
    return makeOwn(s, host, texts, log);
  }
  QFile::setPermissions(keyPath, kPrivateFile);
  id.own = true;
  return id;
}

QStringList machineAddresses() {
  QStringList out;
  for (const QHostAddress& a : QNetworkInterface::allAddresses()) out << a.toString();
  return out;
}

TlsIdentity loadForMachine(GatewayContext& g, const QString& folder) {
  const Settings& cfg = g.state().cfg;
  const TlsSources s{folder, cfg.TlsCertFile, cfg.TlsKeyFile, QSysInfo::machineHostName(),
                     machineAddresses()};
  return loadTlsIdentity(s, g.language(), [&g](const QString& line) { g.Log(true, line); });
}

void logInUse(GatewayContext& g, const TlsIdentity& id) {
  if (id.valid()) g.Log(true, g.language().Text(530, {id.certFile, id.fingerprint}));
}

}  // namespace

TlsIdentity loadTlsIdentity(const TlsSources& s, const Language& texts, const TlsLog& log) {
  TlsIdentity id;
  if (!s.certFile.isEmpty()) {
    const QDir folder(s.folder);
    const QString certPath = QDir::cleanPath(folder.absoluteFilePath(s.certFile));
    const QString keyPath =
        s.keyFile.isEmpty() ? certPath : QDir::cleanPath(folder.absoluteFilePath(s.keyFile));
    QString why;
    id = readIdentity(certPath, keyPath, texts, &why);
    if (!why.isEmpty()) log(texts.Text(531, {native(certPath), why}));
  }
  return id.valid() ? id : ownIdentity(s, texts, log);
}

TlsIdentity loadTlsIdentity(GatewayContext& g, const QString& folder) {
  TlsIdentity id = loadForMachine(g, folder);
  logInUse(g, id);
  return id;
}

void refreshTlsIdentity(GatewayContext& g) {
  GatewayState& gs = g.state();
  auto id = std::make_shared<const TlsIdentity>(loadForMachine(g, gs.ProgramDir));
  // A reload that changed nothing of it says nothing of it.
  if (!gs.MailTls || gs.MailTls->fingerprint != id->fingerprint) logInUse(g, *id);
  gs.MailTls = std::move(id);
}

QSslConfiguration serverTlsConfiguration(const TlsIdentity& id) {
  QSslConfiguration c = QSslConfiguration::defaultConfiguration();
  c.setLocalCertificateChain(QList<QSslCertificate>{id.certificate} + id.chain);
  c.setPrivateKey(id.key);
  c.setProtocol(QSsl::TlsV1_2OrLater);
  c.setPeerVerifyMode(QSslSocket::VerifyNone);
  return c;
}

}  // namespace kolvane
