#include "ui/mail_accounts_box.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/gateway.h"
#include "mail/mail_accounts.h"
#include "settings/catalogue.h"
#include "settings/language.h"

namespace kolvane::ui {

MailAccountsBox::MailAccountsBox(const Language& language, QWidget* parent)
    : QGroupBox(parent), language_(language), list_(new QListWidget), name_(new QLineEdit) {
  setObjectName(QStringLiteral("GbMailUsers"));
  list_->setObjectName(QStringLiteral("LbMailUsers"));
  list_->setMaximumHeight(72);
  name_->setObjectName(QStringLiteral("EdMailUser"));
  name_->setMaxLength(32);
  name_->setFixedWidth(200);
  auto* label = new QLabel;
  label->setObjectName(QStringLiteral("LaMailUser"));
  auto* set = new QPushButton;
  set->setObjectName(QStringLiteral("BtSetPassword"));
  auto* remove = new QPushButton;
  remove->setObjectName(QStringLiteral("BtRemoveUser"));
  auto* row = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{label, name_, set, remove}) row->addWidget(w);
  row->addStretch(1);
  auto* box = new QVBoxLayout(this);
  box->addWidget(list_);
  box->addLayout(row);

  askPassword = [this](const QString& name) { return askNewPassword(this, language_, name); };
  refuse = [this](const QString& text) { QMessageBox::warning(this, title(), text); };
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row < names_.size()) name_->setText(names_[row]);
  });
  connect(set, &QPushButton::clicked, this, &MailAccountsBox::setPassword);
  connect(remove, &QPushButton::clicked, this, &MailAccountsBox::removeAccount);
}

void MailAccountsBox::load(const std::vector<MailUser>& users) {
  names_.clear();
  changes_.clear();
  for (const MailUser& u : users) names_ << u.name;
  name_->clear();
  refresh();
}

QString MailAccountsBox::chosenName() const {
  return name_->text().trimmed();
}

void MailAccountsBox::setPassword() {
  const QString name = chosenName();
  if (!ValidAccountName(name)) {
    refuse(language_.Text(581));
    return;
  }
  const std::optional<QByteArray> password = askPassword(name);
  if (!password) return;
  if (password->isEmpty()) {
    refuse(language_.Text(574));
    return;
  }
  const QString hash = HashPassword(*password);
  if (hash.isEmpty()) {
    refuse(language_.Text(582));
    return;
  }
  // One account per name, in whatever case: the new password keeps the spelling in use.
  const auto known = std::find_if(names_.begin(), names_.end(), [&](const QString& n) {
    return n.compare(name, Qt::CaseInsensitive) == 0;
  });
  const QString stored = known == names_.end() ? name : *known;
  if (known == names_.end()) names_ << stored;
  changes_.append({stored, hash});
  refresh();
}

void MailAccountsBox::removeAccount() {
  const QString name = chosenName();
  const auto known = std::find_if(names_.begin(), names_.end(), [&](const QString& n) {
    return n.compare(name, Qt::CaseInsensitive) == 0;
  });
  if (known == names_.end()) return;
  changes_.append({*known, {}});
  names_.erase(known);
  name_->clear();
  refresh();
}

void MailAccountsBox::refresh() {
  list_->clear();
  for (const QString& n : names_) {
    const bool pending = std::any_of(changes_.begin(), changes_.end(), [&](const AccountChange& c) {
      return c.name == n && !c.hash.isEmpty();
    });
    list_->addItem(pending ? fillPlaceholders(language_.Text(586), {n}) : n);
  }
}

void storeMailAccounts(Gateway& g, const QList<AccountChange>& changes) {
  if (changes.isEmpty()) return;
  GatewayState& gs = g.state();
  IniFile file(gs.file(files::kSettings));
  if (!StoreAccountChanges(file, changes)) {
    g.Log(true, fillPlaceholders(g.Text(578), {QDir::toNativeSeparators(file.path())}));
    return;
  }
  gs.cfg.MailUsers = ReadMailUsers(g.layeredSettings(file.read()),
                                   [&g](const QString& line) { g.Log(true, line); });
}

std::optional<QByteArray> askNewPassword(QWidget* parent, const Language& language,
                                         const QString& name) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("PasswordDialog"));
  dialog.setWindowTitle(fillPlaceholders(language.Text(583), {name}));
  auto* first = new QLineEdit;
  auto* second = new QLineEdit;
  first->setObjectName(QStringLiteral("EdPassword"));
  second->setObjectName(QStringLiteral("EdPasswordAgain"));
  for (QLineEdit* e : {first, second}) {
    e->setEchoMode(QLineEdit::Password);
    e->setMinimumWidth(240);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  buttons->button(QDialogButtonBox::Cancel)->setText(language.Text(400));
  ok->setEnabled(false);
  const auto check = [=] {
    ok->setEnabled(!first->text().isEmpty() && first->text() == second->text());
  };
  QObject::connect(first, &QLineEdit::textChanged, &dialog, check);
  QObject::connect(second, &QLineEdit::textChanged, &dialog, check);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* form = new QFormLayout(&dialog);
  form->addRow(language.Text(584), first);
  form->addRow(language.Text(585), second);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return first->text().toUtf8();
}

}  // namespace kolvane::ui
