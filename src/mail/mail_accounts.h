#pragma once

#include <QByteArray>
#include <QString>

#include "settings/mail_users.h"
#include "settings/settings.h"

namespace kolvane {

// A fresh salted yescrypt hash ("$y$…") of the password; empty when the password is empty,
// holds a NUL byte, or the hashing fails.
QString HashPassword(const QByteArray& password);

// Whether the password gives that hash; the outputs are compared in constant time.
bool PasswordMatches(const QString& hash, const QByteArray& password);

// The account of that name (case-insensitive), if any.
const MailUser* FindAccount(const Settings& cfg, const QString& name);

}  // namespace kolvane
