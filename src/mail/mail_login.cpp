#include "mail/mail_login.h"

#include <QRegularExpression>

#include "mail/mail_accounts.h"
#include "settings/settings.h"

namespace kolvane {

namespace {

QHostAddress plain(const QHostAddress& a) {
  bool v4 = false;
  const quint32 ip4 = a.toIPv4Address(&v4);
  return v4 ? QHostAddress(ip4) : a;
}

}  // namespace

bool AccountsSet(const Settings& cfg) {
  return !cfg.MailUsers.empty();
}

LoginResult CheckLogin(const Settings& cfg, const QByteArray& user, const QByteArray& password) {
  if (!AccountsSet(cfg)) return {true, {}};
  const MailUser* account = FindAccount(cfg, QString::fromUtf8(user));
  // A name that is no account costs a check too, so its answer takes as long.
  const bool matches = PasswordMatches((account ? *account : cfg.MailUsers.front()).hash, password);
  const bool ok = matches && account;
  return {ok, ok ? account->name : QString()};
}

bool IsTrustedHost(const QString& list, const QHostAddress& peer) {
  static const QRegularExpression kSeparators(QStringLiteral("[\\s,;]+"));
  const QHostAddress from = plain(peer);
  for (const QString& item : list.split(kSeparators, Qt::SkipEmptyParts)) {
    if (item.contains(QLatin1Char('/'))) {
      const auto subnet = QHostAddress::parseSubnet(item);
      if (subnet.second >= 0 && from.isInSubnet(plain(subnet.first), subnet.second)) return true;
      continue;
    }
    const QHostAddress address(item);
    if (!address.isNull() && plain(address) == from) return true;
  }
  return false;
}

}  // namespace kolvane
