#include "settings/mail_users.h"

#include <crypt.h>

#include <algorithm>

namespace kolvane {

namespace {

bool nameChar(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'.' || c == u'_' || c == u'-';
}

}  // namespace

bool ValidAccountName(const QString& name) {
  return !name.isEmpty() && name.size() <= 32 && std::all_of(name.begin(), name.end(), nameChar);
}

bool IsPasswordHash(const QString& value) {
  const QByteArray bytes = value.toLatin1();
  return value.startsWith(u'$') && bytes.size() < CRYPT_OUTPUT_SIZE &&
         QString::fromLatin1(bytes) == value && !bytes.contains('\0') &&
         crypt_checksalt(bytes.constData()) == CRYPT_SALT_OK;
}

std::vector<MailUser> ReadMailUsers(const IniText& ini,
                                    const std::function<void(const QString&)>& log) {
  std::vector<MailUser> users;
  const QString section = QLatin1String(kMailUsersSection);
  for (const auto& [name, value] : ini.entries(section)) {
    const bool validName = ValidAccountName(name);
    if (!validName || !IsPasswordHash(value)) {
      log(QStringLiteral("Settings: [%1] %2 skipped: %3")
              .arg(section, name.left(40),
                   validName ? QStringLiteral("the value is no password hash")
                             : QStringLiteral("no valid account name")));
      continue;
    }
    users.push_back({name, value});
  }
  return users;
}

bool StoreAccountChanges(IniFile& file, const QList<AccountChange>& changes) {
  const QString section = QLatin1String(kMailUsersSection);
  return file.update([&](IniText& text) {
    for (const AccountChange& c : changes) {
      // Every line of that name goes, in whatever case: one account, one line.
      while (text.hasKey(section, c.name)) text.removeKey(section, c.name);
      if (!c.hash.isEmpty()) text.setValue(section, c.name, c.hash);
    }
  });
}

}  // namespace kolvane
