#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>
#include <QStringList>
#include <functional>

namespace kolvane {

class GatewayContext;
class Language;

// The certificate and key the mail servers serve.
struct TlsIdentity {
  QSslCertificate certificate;
  QSslKey key;
  QString fingerprint;           // SHA-256 of the certificate, "AB:CD:..."
  QList<QSslCertificate> chain;  // what the named file holds after its first certificate
  QString certFile;              // the file it was read from, native separators
  bool own = false;              // the gateway's own certificate, not the named one
  bool valid() const { return !certificate.isNull() && !key.isNull(); }
};

// What an identity is made of; the host name and addresses come in so tests can change them.
struct TlsSources {
  QString folder;    // the program folder
  QString certFile;  // named PEM files, relative to the folder or absolute; empty: none named
  QString keyFile;   // empty: the key is looked for in the certificate file
  QString hostName;
  QStringList addresses;  // the machine's addresses, for the certificate's alternative names
};

using TlsLog = std::function<void(const QString&)>;

// The named certificate when it is readable, PEM, matches its key and is in date; else the
// gateway's own in the folder (Kolvane.crt / Kolvane.key: made, reused, made anew when the host
// name changed). Logs why a named or kept one was not used, and a made one. An identity that is
// not valid() means not even the own one could be made (logged).
TlsIdentity loadTlsIdentity(const TlsSources& sources, const Language& texts, const TlsLog& log);

// The same from the settings in force, in the language in force, for this machine's host name
// and addresses; logs the fingerprint in use too.
TlsIdentity loadTlsIdentity(GatewayContext& g, const QString& folder);

// Loads the identity into the gateway state (GatewayState::MailTls), at start and on SIGHUP;
// logs the fingerprint in use when it is new.
void refreshTlsIdentity(GatewayContext& g);

// A server's TLS configuration: the identity, TLS 1.2 and 1.3 only, no client certificates.
QSslConfiguration serverTlsConfiguration(const TlsIdentity& identity);

}  // namespace kolvane
