#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

namespace kolvane {

struct Settings;

// Whether the office has set accounts: then logins are checked and the account, not the PC,
// names the mailbox.
bool AccountsSet(const Settings& cfg);

// The outcome of a login. Without accounts every login is right and names no account.
struct LoginResult {
  bool ok = false;
  QString account;  // as written in MailUsers; empty without accounts
};
LoginResult CheckLogin(const Settings& cfg, const QByteArray& user, const QByteArray& password);

// Whether the peer is among the space- or comma-separated addresses (or address/prefix
// subnets) of the list; an IPv4-mapped IPv6 address counts as its IPv4 address.
bool IsTrustedHost(const QString& list, const QHostAddress& peer);

}  // namespace kolvane
