#include "mail/mail_accounts.h"

#include <crypt.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace kolvane {

namespace {

// Equal bytes, in a time that depends only on the lengths.
bool sameBytes(const QByteArray& a, const QByteArray& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (qsizetype i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// crypt_rn's output for that setting, or empty on failure.
QByteArray cryptOutput(const QByteArray& password, const QByteArray& setting) {
  if (password.contains('\0') || setting.contains('\0')) return {};
  auto data = std::make_unique<crypt_data>();
  const char* out = crypt_rn(password.constData(), setting.constData(), data.get(),
                             static_cast<int>(sizeof(crypt_data)));
  QByteArray result = out && out[0] != '*' ? QByteArray(out) : QByteArray();
  std::fill_n(reinterpret_cast<volatile char*>(data.get()), sizeof(crypt_data), 0);
  return result;
}

}  // namespace

QString HashPassword(const QByteArray& password) {
  if (password.isEmpty()) return {};
  // A null random source: libcrypt takes the salt from the system's own.
  std::unique_ptr<char, decltype(&std::free)> setting(crypt_gensalt_ra("$y$", 0, nullptr, 0),
                                                      &std::free);
  if (!setting) return {};
  return QString::fromLatin1(cryptOutput(password, QByteArray(setting.get())));
}

bool PasswordMatches(const QString& hash, const QByteArray& password) {
  if (!IsPasswordHash(hash)) return false;
  const QByteArray stored = hash.toLatin1();
  const QByteArray computed = cryptOutput(password, stored);
  return !computed.isEmpty() && sameBytes(computed, stored);
}

const MailUser* FindAccount(const Settings& cfg, const QString& name) {
  const auto it = std::find_if(cfg.MailUsers.begin(), cfg.MailUsers.end(), [&](const MailUser& u) {
    return u.name.compare(name, Qt::CaseInsensitive) == 0;
  });
  return it == cfg.MailUsers.end() ? nullptr : &*it;
}

}  // namespace kolvane
