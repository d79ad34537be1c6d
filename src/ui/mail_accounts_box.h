#pragma once

#include <QByteArray>
#include <QGroupBox>
#include <QList>
#include <functional>
#include <optional>
#include <vector>

#include "settings/mail_users.h"

class QLineEdit;
class QListWidget;

namespace kolvane {
class Gateway;
class Language;
}  // namespace kolvane

namespace kolvane::ui {

// The mail accounts on the settings dialog's e-mail page: the names the settings hold, and
// passwords set or accounts removed until the dialog's "OK" writes them.
class MailAccountsBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit MailAccountsBox(const Language& language, QWidget* parent = nullptr);

  void load(const std::vector<MailUser>& users);
  // What "OK" writes, in the order the user did it.
  const QList<AccountChange>& changes() const { return changes_; }

  // Asks for the new password twice; nullopt when cancelled.
  std::function<std::optional<QByteArray>(const QString& name)> askPassword;
  // Tells why a name or password is refused.
  std::function<void(const QString& text)> refuse;

  void setPassword();
  void removeAccount();

 private:
  void refresh();
  QString chosenName() const;

  const Language& language_;
  QListWidget* list_;
  QLineEdit* name_;
  QStringList names_;
  QList<AccountChange> changes_;
};

// Writes the changes into the settings file's section and takes the accounts it then holds;
// a file that cannot be written is logged and the accounts stay as they were.
void storeMailAccounts(Gateway& g, const QList<AccountChange>& changes);

// The dialog that asks for a password twice, not shown; nullopt when cancelled. OK takes only
// two equal, non-empty entries.
std::optional<QByteArray> askNewPassword(QWidget* parent, const Language& language,
                                         const QString& name);

}  // namespace kolvane::ui
