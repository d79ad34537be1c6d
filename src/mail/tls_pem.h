#pragma once

#include <QByteArray>
#include <QSslKey>
#include <QString>
#include <QStringList>
#include <optional>

namespace kolvane {

// A certificate and its private key, PEM.
struct PemPair {
  QByteArray certificate;
  QByteArray key;
};

// A self-signed certificate for a server: a fresh EC P-256 key, valid from a day ago for ten
// years, the host name as its subject's CN, the host name, "localhost" and the addresses as its
// alternative names. nullopt (and why in *error) when the library failed.
std::optional<PemPair> makeSelfSignedPem(const QString& hostName, const QStringList& addresses,
                                         QString* error);

// A private key as Qt takes it: RSA or EC, PEM without a passphrase (never asks for one). Null
// when the text holds no such key.
QSslKey readPrivateKeyPem(const QByteArray& pem);

// Whether the private key belongs to the certificate (the first one in certificatePem).
bool keyMatchesCertificate(const QByteArray& certificatePem, const QByteArray& keyPem);

}  // namespace kolvane
