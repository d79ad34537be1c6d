#include "ui/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "context/gateway_state.h"
#include "core/gateway.h"
#include "core/shell_open.h"
#include "settings/caption_texts.h"
#include "ui/mail_accounts_box.h"
#include "ui/message_box.h"
#include "ui/settings_pages.h"
#include "ui/string_grid.h"
#include "ui/window_placement.h"

namespace kolvane::ui {

namespace {

// Node 1 reads the same in every language.
const QString kServersNode = QStringLiteral("SMTP, POP3");
const QString kSeparator = QStringLiteral("   >   ");

void setCaption(QObject* target, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(target)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
    button->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(target)) {
    group->setTitle(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(target)) {
    edit->setText(text);
  }
}

}  // namespace

FCfg::FCfg(Gateway& g, QWidget* parent) : QDialog(parent), g_(g) {
  setObjectName(QStringLiteral("FCfg"));
  openDocument = [](const QString& path) { ShellOpen(path, {}); };
  const auto box = [this](const QString& title, const QString& text) {
    QMessageBox::information(this, title, text);
  };
  languageDialogs.info = box;
  languageDialogs.error = [this](const QString& title, const QString& text) {
    QMessageBox::warning(this, title, text);
  };
  languageDialogs.confirmOverwrite = [this](const QString& title, const QString& text) {
    return showBox(this, QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                   g_.language()) == QMessageBox::Ok;
  };
  outOfRange = [this](const QString& range) { QMessageBox::warning(this, windowTitle(), range); };
  build();
  wireRules();
  limitNumberFields();
  applyLanguage();
}

void FCfg::build() {
  tree_ = new QTreeWidget;
  tree_->setObjectName(QStringLiteral("tv1"));
  tree_->setHeaderHidden(true);
  tree_->setFixedWidth(230);
  std::array<QTreeWidgetItem*, kCfgNodes> items{};
  for (int n = 0; n < kCfgNodes; ++n) {
    const CfgNode& node = kCfgNodeTable[static_cast<std::size_t>(n)];
    const bool child = node.outer != n;
    items[static_cast<std::size_t>(n)] =
        child ? new QTreeWidgetItem(items[static_cast<std::size_t>(node.outer)])
              : new QTreeWidgetItem(tree_);
    items[static_cast<std::size_t>(n)]->setData(0, Qt::UserRole, n);
  }
  tree_->expandAll();
  tree_->setItemsExpandable(false);
  tree_->setRootIsDecorated(false);

  header_ = new QLabel;
  header_->setObjectName(QStringLiteral("LaHeader"));
  header_->setStyleSheet(QStringLiteral("font-weight: bold; padding: 4px;"));
  pages_ = buildSettingsPages(this);
  // The accounts close the e-mail page, above its closing stretch.
  if (auto* mailPage = qobject_cast<QVBoxLayout*>(pages_->widget(1)->layout())) {
    mailPage->insertWidget(mailPage->count() - 1, new MailAccountsBox(g_.language()));
  }

  auto* right = new QVBoxLayout;
  right->addWidget(header_);
  right->addWidget(pages_, 1);
  auto* top = new QHBoxLayout;
  top->addWidget(tree_);
  top->addLayout(right, 1);

  auto* bottom = new QHBoxLayout;
  for (const auto& [name, text, hint] :
       {std::array{"btnCZ", "CZ", "česky"}, std::array{"btnEN", "EN", "english"},
        std::array{"btnINI", "ini", "lang.ini"}}) {
    auto* b = new QToolButton;
    b->setObjectName(QLatin1String(name));
    b->setText(QString::fromUtf8(text));
    b->setToolTip(QString::fromUtf8(hint));
    b->setContextMenuPolicy(Qt::CustomContextMenu);
    const QString button = QLatin1String(name);
    connect(b, &QToolButton::clicked, this, [this, button] { languageButton(button, false); });
    connect(b, &QToolButton::customContextMenuRequested, this,
            [this, button] { languageButton(button, true); });
    bottom->addWidget(b);
    // The language-file button only when there is a language file to read.
    if (button == QLatin1String("btnINI")) {
      b->setVisible(QFileInfo::exists(g_.state().file(files::kLang)));
    }
  }
  bottom->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("BtOk"));
  ok->setDefault(true);
  auto* cancel = new QPushButton;
  cancel->setObjectName(QStringLiteral("BtCancel"));
  connect(ok, &QPushButton::clicked, this, &FCfg::accept);
  connect(cancel, &QPushButton::clicked, this, &FCfg::reject);
  bottom->addWidget(ok);
  bottom->addWidget(cancel);

  auto* all = new QVBoxLayout(this);
  all->addLayout(top, 1);
  all->addLayout(bottom);
  resize(900, 600);

  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) selectNode(item->data(0, Qt::UserRole).toInt());
  });
}

int FCfg::openAt(int node, const QString& focus) {
  // A modal dialog off every screen would block the whole program.
  restorePlacement(*this, g_.state(), objectName());
  loadControls();
  selectNode(node >= 0 && node < kCfgNodes ? node : g_.state().PgNdx);
  if (!focus.isEmpty()) {
    if (auto* w = findChild<QWidget*>(focus)) w->setFocus();
  }
  return exec();
}

void FCfg::done(int result) {
  keepPlacement(*this, g_.state(), objectName());
  QDialog::done(result);
}

void FCfg::selectNode(int node) {
  if (node < 0 || node >= kCfgNodes) return;
  const CfgNode& n = kCfgNodeTable[static_cast<std::size_t>(node)];
  pages_->setCurrentIndex(n.page);
  header_->setText(headerText());
  g_.state().PgNdx = node;
  QTreeWidgetItemIterator it(tree_);
  for (; *it; ++it) {
    if ((*it)->data(0, Qt::UserRole).toInt() == node && tree_->currentItem() != *it) {
      tree_->setCurrentItem(*it);
    }
  }
  header_->setText(headerText());
}

int FCfg::currentNode() const {
  const QTreeWidgetItem* item = tree_->currentItem();
  return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

QString FCfg::headerText() const {
  const CfgNode& n = kCfgNodeTable[static_cast<std::size_t>(currentNode())];
  QString text = nodeText_[static_cast<std::size_t>(n.outer)];
  if (n.inner >= 0) text += kSeparator + nodeText_[static_cast<std::size_t>(n.inner)];
  return text;
}

void FCfg::applyLanguage() {
  const Language& language = g_.language();
  nodeText_[1] = kServersNode;
  for (const CaptionText& c : captionTexts(language)) {
    if (QLatin1String(c.entry->form) != QLatin1String("FCfg") || c.keep) continue;
    switch (c.entry->target) {
      case CaptionTarget::Control:
        if (qstrcmp(c.entry->control, kCaptionTitle) == 0) {
          setWindowTitle(c.text);
        } else {
          setCaption(findChild<QObject*>(QLatin1String(c.entry->control)), c.text);
        }
        break;
      case CaptionTarget::TreeNode:
        nodeText_[static_cast<std::size_t>(c.entry->index)] = c.text;
        break;
      case CaptionTarget::GridCell:
        if (auto* grid = findChild<StringGrid*>(QLatin1String(c.entry->control))) {
          grid->setTitle(c.entry->index, c.text);
        }
        break;
      case CaptionTarget::ListBox:
        // A drop-down list keeps its choice while its items change language.
        if (auto* list = findChild<QComboBox*>(QLatin1String(c.entry->control))) {
          for (int i = 0; i < std::min<int>(list->count(), static_cast<int>(c.items.size())); ++i) {
            list->setItemText(i, c.items[i]);
          }
        }
        break;
    }
  }
  QTreeWidgetItemIterator it(tree_);
  for (; *it; ++it) {
    (*it)->setText(0, nodeText_[static_cast<std::size_t>((*it)->data(0, Qt::UserRole).toInt())]);
  }
  header_->setText(headerText());
  refreshCatalogueTexts();
}

}  // namespace kolvane::ui
