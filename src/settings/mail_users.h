#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <vector>

#include "platform/ini_file.h"
#include "platform/ini_text.h"
#include "settings/settings.h"

namespace kolvane {

// The settings file's section of the mail accounts: name = password hash.
inline constexpr char kMailUsersSection[] = "MailUsers";

// 1 to 32 of letters, digits, ".", "_" and "-".
bool ValidAccountName(const QString& name);

// A value [MailUsers] may hold: a self-describing, salted hash libcrypt accepts ("$y$…" and the
// like), never a password in clear.
bool IsPasswordHash(const QString& value);

// The accounts the section holds, first of each name; an invalid name or a value that is no
// password hash is left out with a line to log.
std::vector<MailUser> ReadMailUsers(const IniText& ini,
                                    const std::function<void(const QString&)>& log);

// A change of one account: a new hash, or (hash empty) its removal.
struct AccountChange {
  QString name;
  QString hash;
};
// Applies the changes to the section, in one write that leaves every other line as it is.
// False when the file cannot be written.
bool StoreAccountChanges(IniFile& file, const QList<AccountChange>& changes);

}  // namespace kolvane
