#include "mail/tls_pem.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace kolvane {

namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;
using Names = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES_free>>;
using Ext = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using Big = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

constexpr long kDay = 24 * 60 * 60;
constexpr int kValidDays = 3652;

// Without a callback the library would ask on the terminal for a passphrase.
int noPassphrase(char*, int, int, void*) {
  return -1;
}

Bio readBio(const QByteArray& bytes) {
  return Bio(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
}

QByteArray bioBytes(BIO* bio) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  return QByteArray(data, static_cast<qsizetype>(n));
}

// The library's last error, and the error queue emptied.
QString libraryError(const char* step) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  char text[256] = {};
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  return code != 0 ? QStringLiteral("%1: %2").arg(QLatin1String(step), QLatin1String(text))
                   : QLatin1String(step);
}

PKey readKey(const QByteArray& pem) {
  const Bio bio = readBio(pem);
  PKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr));
  ERR_clear_error();
  return key;
}

Cert readCert(const QByteArray& pem) {
  const Bio bio = readBio(pem);
  Cert cert(PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr));
  ERR_clear_error();
  return cert;
}

bool addName(GENERAL_NAMES* names, int type, const QString& value) {
  const QByteArray text = value.toUtf8();
  GENERAL_NAME* name = a2i_GENERAL_NAME(nullptr, nullptr, nullptr, type, text.constData(), 0);
  if (!name) {
    ERR_clear_error();
    return false;
  }
  sk_GENERAL_NAME_push(names, name);
  return true;
}

bool addExtension(X509* cert, X509V3_CTX* ctx, int nid, const char* value) {
  const Ext ext(X509V3_EXT_conf_nid(nullptr, ctx, nid, value));
  return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

bool addAltNames(X509* cert, const QString& hostName, const QStringList& addresses) {
  const Names names(sk_GENERAL_NAME_new_null());
  if (!names) return false;
  addName(names.get(), GEN_DNS, hostName);
  if (hostName.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
    addName(names.get(), GEN_DNS, QStringLiteral("localhost"));
  // An address the library does not take (a zone suffix, a typo) is left out, not fatal.
  for (const QString& a : addresses) addName(names.get(), GEN_IPADD, a.section(u'%', 0, 0));
  return X509_add1_ext_i2d(cert, NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT) == 1;
}

bool setSerial(X509* cert) {
  const Big serial(BN_new());
  return serial && BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
         BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert)) != nullptr;
}

}  // namespace

std::optional<PemPair> makeSelfSignedPem(const QString& hostName, const QStringList& addresses,
                                         QString* error) {
  const auto fail = [error](const char* step) -> std::optional<PemPair> {
    if (error) *error = libraryError(step);
    return std::nullopt;
  };
  const PKey key(EVP_EC_gen("P-256"));
  if (!key) return fail("EC key");
  const Cert cert(X509_new());
  if (!cert) return fail("certificate");
  const QByteArray cn = hostName.toUtf8().left(64);  // the longest CN allowed
  X509_NAME* subject = X509_get_subject_name(cert.get());
  if (X509_set_version(cert.get(), X509_VERSION_3) != 1 || !setSerial(cert.get()) ||
      // A day back: a client whose clock is a little behind still takes it.
      !X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay) ||
      !X509_time_adj_ex(X509_getm_notAfter(cert.get()), kValidDays, 0, nullptr) ||
      X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(cn.constData()),
                                 static_cast<int>(cn.size()), -1, 0) != 1 ||
      X509_set_issuer_name(cert.get(), subject) != 1 || X509_set_pubkey(cert.get(), key.get()) != 1)
    return fail("certificate fields");
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  // An end entity, not an authority: mail programs refuse an authority's certificate as a
  // server's, even once accepted by hand.
  if (!addExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:FALSE") ||
      !addExtension(cert.get(), &ctx, NID_ext_key_usage, "serverAuth") ||
      !addExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash") ||
      // Strict verifiers (Python's default since 3.13) want it even of a self-signed one.
      !addExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always") ||
      !addAltNames(cert.get(), hostName, addresses))
    return fail("certificate extensions");
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) return fail("signature");

  const Bio certOut(BIO_new(BIO_s_mem()));
  const Bio keyOut(BIO_new(BIO_s_mem()));
  if (!certOut || !keyOut || PEM_write_bio_X509(certOut.get(), cert.get()) != 1 ||
      PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return fail("PEM");
  return PemPair{bioBytes(certOut.get()), bioBytes(keyOut.get())};
}

QSslKey readPrivateKeyPem(const QByteArray& pem) {
  const PKey key = readKey(pem);
  if (!key) return {};
  QSsl::KeyAlgorithm algorithm;
  switch (EVP_PKEY_get_base_id(key.get())) {
    case EVP_PKEY_RSA:
      algorithm = QSsl::Rsa;
      break;
    case EVP_PKEY_EC:
      algorithm = QSsl::Ec;
      break;
    default:
      return {};
  }
  // Qt reads the unencrypted PKCS#8 form whatever form the file had.
  const Bio out(BIO_new(BIO_s_mem()));
  if (!out ||
      PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return {};
  return QSslKey(bioBytes(out.get()), algorithm, QSsl::Pem, QSsl::PrivateKey);
}

bool keyMatchesCertificate(const QByteArray& certificatePem, const QByteArray& keyPem) {
  const Cert cert = readCert(certificatePem);
  const PKey key = readKey(keyPem);
  const bool match = cert && key && X509_check_private_key(cert.get(), key.get()) == 1;
  ERR_clear_error();
  return match;
}

}  // namespace kolvane
