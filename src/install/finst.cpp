#include "install/finst.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "core/start_mode.h"
#include "platform/ini_file.h"
#include "settings/caption_texts.h"
#include "settings/language.h"

namespace kolvane::install {

namespace {

constexpr char kForm[] = "FInst";
constexpr char kTitle[] = "Kolvane Setup";
constexpr std::array kModeControls = {"RbInstNew", "RbInstUpgrade", "RbInstChange",
                                      "RbInstUninstall"};

template <typename W, typename... Args>
W* named(const char* name, Args&&... args) {
  auto* w = new W(std::forward<Args>(args)...);
  w->setObjectName(QLatin1String(name));
  return w;
}

// The Linux program file has no ".exe"; captions name it as it is.
QString withoutExe(QString text) {
  return text.remove(QLatin1String(".exe"));
}

QString boxText(QString text) {
  return text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

}  // namespace

FInst::FInst(Language& language, const QString& version, SetupFolders folders, QWidget* parent)
    : QDialog(parent), language_(language), version_(version), folders_(std::move(folders)) {
  setObjectName(QLatin1String(kForm));
  messageBox_ = [this](const QString& text, bool error) {
    if (error) {
      QMessageBox::critical(this, QLatin1String(kTitle), boxText(text));
    } else {
      QMessageBox::information(this, QLatin1String(kTitle), boxText(text));
    }
  };
  pages_ = new QStackedWidget;
  for (QWidget* page : {buildModePage(), buildLicencePage(), buildPathPage(), buildGroupPage(),
                        buildPortPage(), buildEndPage()}) {
    pages_->addWidget(page);
  }
  auto* statusBar = new QStatusBar;
  statusBar->setSizeGripEnabled(false);
  versionPanel_ = new QLabel;
  statusBar->addWidget(versionPanel_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_, 1);
  layout->addWidget(buildButtons());
  layout->addWidget(statusBar);
  resize(620, 460);

  // Enter in an edit must not press a button (Browse, I Agree) by itself.
  for (auto* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
  applyLanguage();
  // Show: first page, Back and Next disabled, OK hidden.
  setWindowTitle(QLatin1String(kTitle));
  showPage(ModePage);
  next_->setEnabled(false);
}

QWidget* FInst::buildModePage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addStretch();
  for (const char* name : kModeControls) {
    auto* radio = named<QRadioButton>(name);
    connect(radio, &QRadioButton::toggled, this, [this](bool on) {
      if (on) modeChosen();
    });
    modes_ << radio;
    layout->addWidget(radio);
  }
  layout->addStretch();
  return page;
}

QWidget* FInst::buildLicencePage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(named<QLabel>("LaLicence"));
  layout->addWidget(named<QListWidget>("LiLi1"), 1);
  auto* agree = named<QPushButton>("BtAgree");
  connect(agree, &QPushButton::clicked, this, [this] {
    agreed_ = true;
    next_->setEnabled(true);
  });
  layout->addWidget(agree, 0, Qt::AlignRight);
  return page;
}

QWidget* FInst::buildPathPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(named<QLabel>("LaDestination"));
  auto* row = new QHBoxLayout;
  destination_ = named<QLineEdit>("EdDestination");
  browse_ = named<QPushButton>("BtBrowse");
  row->addWidget(destination_, 1);
  row->addWidget(browse_);
  layout->addLayout(row);
  status_ = named<QLabel>("LaStatus");
  layout->addWidget(status_);
  files_ = named<QListWidget>("LiFiles");
  layout->addWidget(files_, 1);
  keep_ = named<QCheckBox>("CbKeepIni");
  rename_ = named<QCheckBox>("CbRenameOld");
  iniChanged_ = named<QLabel>("LaIniChanged");
  folderRemoved_ = named<QLabel>("LaFolderRemoved");
  missing_ = named<QLabel>("LaMissing");
  for (QWidget* w : {static_cast<QWidget*>(keep_), static_cast<QWidget*>(rename_),
                     static_cast<QWidget*>(iniChanged_), static_cast<QWidget*>(folderRemoved_),
                     static_cast<QWidget*>(missing_)}) {
    layout->addWidget(w);
  }
  auto* hint = new QHBoxLayout;
  modeHint_ = named<QLabel>("LaModeHint");
  selectOld_ = named<QLabel>("LaSelectOld");
  hint->addWidget(modeHint_);
  hint->addWidget(selectOld_);
  hint->addStretch();
  layout->addLayout(hint);
  connect(destination_, &QLineEdit::textChanged, this, &FInst::checkDestination);
  connect(browse_, &QPushButton::clicked, this, [this] {
    const QString dir =
        QFileDialog::getExistingDirectory(this, caption("LaDestination"), destination_->text());
    if (!dir.isEmpty()) destination_->setText(withSlash(dir));
  });
  return page;
}

QWidget* FInst::buildGroupPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(named<QLabel>("LaProgramFolder"));
  group_ = named<QLineEdit>("EdGroup", QStringLiteral("Kolvane/"));
  layout->addWidget(group_);
  // The group is always created; the box says where the icon goes.
  auto* start = named<QCheckBox>("CbAddToStart");
  start->setChecked(true);
  start->setEnabled(false);
  layout->addWidget(start);
  layout->addWidget(named<QLabel>("LaExistingFolders"));
  existing_ = named<QListWidget>("LiFolders");
  layout->addWidget(existing_, 1);
  desktopIcon_ = named<QCheckBox>("CbAddToDesktop");
  startupIcon_ = named<QCheckBox>("CbAddToStartup");
  layout->addWidget(desktopIcon_);
  layout->addWidget(startupIcon_);
  connect(group_, &QLineEdit::textChanged, this, &FInst::checkGroup);
  connect(existing_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { group_->setText(withSlash(item->text())); });
  return page;
}

QWidget* FInst::buildPortPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addStretch();
  layout->addWidget(named<QLabel>("LaGsmPort"));
  auto* row = new QHBoxLayout;
  port_ = named<QComboBox>("CoGsmPort");
  port_->addItems({QStringLiteral("COM"), QStringLiteral("TCP-IP")});
  comNo_ = named<QLineEdit>("EdComNo", QStringLiteral("1"));
  comNo_->setMaximumWidth(80);
  row->addWidget(port_);
  row->addWidget(comNo_);
  row->addStretch();
  layout->addLayout(row);
  layout->addStretch();
  connect(port_, &QComboBox::currentIndexChanged, this,
          [this](int index) { comNo_->setVisible(index == 0); });
  return page;
}

QWidget* FInst::buildEndPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(named<QLabel>("LaHint"));
  layout->addWidget(named<QListWidget>("LiHint"), 1);
  layout->addWidget(named<QLabel>("LaPressOk"));
  return page;
}

QWidget* FInst::buildButtons() {
  auto* bar = new QWidget;
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  for (const char* name : {"EN", "CZ", "INI"}) {
    auto* button = named<QPushButton>(name, QLatin1String(name));
    button->setMaximumWidth(44);
    connect(button, &QPushButton::clicked, this, [this, name] { setLanguage(name); });
    row->addWidget(button);
    langIni_ = button;
  }
  langIni_->setVisible(QFileInfo::exists(language_.languageFilePath()));
  row->addStretch();
  back_ = named<QPushButton>("BtBack");
  next_ = named<QPushButton>("BtNext");
  ok_ = named<QPushButton>("BtOK", QStringLiteral("OK"));
  auto* cancel = named<QPushButton>("BtCancel");
  for (QPushButton* b : {back_, next_, ok_, cancel}) row->addWidget(b);
  connect(back_, &QPushButton::clicked, this, &FInst::back);
  connect(next_, &QPushButton::clicked, this, &FInst::next);
  connect(ok_, &QPushButton::clicked, this, &FInst::ok);
  connect(cancel, &QPushButton::clicked, this, &FInst::reject);
  return bar;
}

int FInst::currentPage() const {
  return pages_->currentIndex();
}

SetupMode FInst::mode() const {
  for (qsizetype i = 0; i < modes_.size(); ++i) {
    if (modes_[i]->isChecked()) return static_cast<SetupMode>(i);
  }
  return SetupMode::InstallNew;
}

QString FInst::caption(const char* control) const {
  return withoutExe(captionText(language_, QLatin1String(kForm), QLatin1String(control)));
}

void FInst::applyLanguage() {
  for (const CaptionText& c : captionTexts(language_)) {
    if (qstrcmp(c.entry->form, kForm) != 0 || c.keep) continue;
    QWidget* w = findChild<QWidget*>(QLatin1String(c.entry->control));
    if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(withoutExe(c.text));
    if (auto* label = qobject_cast<QLabel*>(w)) label->setText(withoutExe(c.text));
    if (auto* list = qobject_cast<QListWidget*>(w)) {
      list->clear();
      list->addItems(c.items);
    }
  }
  versionPanel_->setText(QLatin1Char(' ') + language_.Text(7) + QLatin1Char(' ') + version_);
  if (std::any_of(modes_.cbegin(), modes_.cend(), [](auto* r) { return r->isChecked(); })) {
    modeChosen();
  }
  if (currentPage() == PathPage) checkDestination();
}

void FInst::setLanguage(const QString& name) {
  language_.setLanguage(name);
  applyLanguage();
}

void FInst::modeChosen() {
  next_->setEnabled(true);
  setWindowTitle(QLatin1String(kTitle) + QLatin1String("  -  ") +
                 caption(kModeControls[static_cast<size_t>(mode())]));
}

void FInst::showPage(Page page) {
  pages_->setCurrentIndex(page);
  back_->setEnabled(page != ModePage);
  next_->setEnabled(page != EndPage);
  next_->setVisible(page != EndPage);
  ok_->setVisible(page == EndPage);
  if (page == LicencePage) next_->setEnabled(agreed_);
  if (page == PathPage) checkDestination();
  if (page == GroupPage) {
    fillExistingFolders();
    checkGroup();
  }
}

void FInst::next() {
  const bool installNew = mode() == SetupMode::InstallNew;
  switch (currentPage()) {
    case ModePage:
      if (!installNew) enterPathPage();
      showPage(installNew ? LicencePage : PathPage);
      break;
    case LicencePage:
      enterPathPage();
      showPage(PathPage);
      break;
    case PathPage:
      leavePathPage();
      showPage(installNew || mode() == SetupMode::Change ? GroupPage : EndPage);
      break;
    case GroupPage:
      group_->setText(withSlash(group_->text()));
      showPage(PortPage);
      break;
    case PortPage:
      showPage(EndPage);
      break;
    default:
      break;
  }
}

void FInst::back() {
  const bool throughGroup = mode() == SetupMode::InstallNew || mode() == SetupMode::Change;
  switch (currentPage()) {
    case LicencePage:
      showPage(ModePage);
      break;
    case PathPage:
      showPage(mode() == SetupMode::InstallNew ? LicencePage : ModePage);
      break;
    case GroupPage:
      showPage(PathPage);
      break;
    case PortPage:
      showPage(GroupPage);
      break;
    case EndPage:
      showPage(throughGroup ? PortPage : PathPage);
      break;
    default:
      break;
  }
  if (currentPage() == ModePage) next_->setEnabled(true);
}

void FInst::enterPathPage() {
  const bool uninstall = mode() == SetupMode::Uninstall;
  destination_->setReadOnly(uninstall);
  browse_->setEnabled(!uninstall);
  destination_->setText(uninstall ? folders_.programDir : folders_.programFiles + "Kolvane/");
}

void FInst::leavePathPage() {
  QString path = destination_->text();
  if (path.size() > 1 && !path.endsWith(QLatin1Char('/'))) destination_->setText(path += '/');
  if (mode() == SetupMode::InstallNew) return;
  const IniText ini = IniFile(path + kSettingsName).read();
  const auto number = [&](const char* key, int fallback) {
    bool ok = false;
    const int n = ini.value(QStringLiteral("CFG"), QLatin1String(key), {}).toInt(&ok);
    return ok ? n : fallback;
  };
  const int comNo = number("ComNo", -1);
  comNo_->setText(QString::number(comNo > 0 && comNo < 100 ? comNo : number("ComNdx", 0) + 1));
  port_->setCurrentIndex(std::clamp(number("ComTcp", 0), 0, 1));
  const QString lnkDir = ini.value(QStringLiteral("CFG"), QStringLiteral("LnkDir"), {});
  if (groupNameValid(lnkDir)) group_->setText(lnkDir);
}

void FInst::checkDestination() {
  const DestinationCheck check = install::checkDestination(destination_->text(), mode(), folders_);
  const PathPageView v = pathPageView(check, mode());
  using Status = PathPageView::Status;
  status_->setText(language_.Text(static_cast<int>(v.status)));
  const char* color = v.status == Status::Empty || v.status == Status::New ? "green"
                      : v.status == Status::Contains                       ? ""
                                                                           : "purple";
  status_->setStyleSheet(*color ? QStringLiteral("color: %1").arg(QLatin1String(color))
                                : QString());
  files_->clear();
  files_->addItems(check.entries);
  keep_->setVisible(v.keepShown);
  keep_->setChecked(v.keepChecked);
  keep_->setEnabled(v.keepEnabled);
  rename_->setVisible(v.renameShown);
  rename_->setChecked(v.renameChecked);
  rename_->setEnabled(v.renameEnabled);
  iniChanged_->setVisible(v.note == PathPageView::Note::SettingsChanged);
  folderRemoved_->setVisible(v.note == PathPageView::Note::FolderRemoved);
  missing_->setVisible(v.note == PathPageView::Note::Missing);
  missing_->setText(v.missing);
  modeHint_->setVisible(v.modeHint);
  selectOld_->setVisible(v.modeHint);
  modeHint_->setText(QStringLiteral("For  -  ") +
                     caption(kModeControls[static_cast<size_t>(mode())]));
  if (currentPage() == PathPage) next_->setEnabled(v.nextEnabled);
}

void FInst::checkGroup() {
  if (currentPage() == GroupPage) next_->setEnabled(groupNameValid(group_->text()));
}

void FInst::fillExistingFolders() {
  // Folders of the menu folder and the submenus named by the user's directory entries.
  QStringList names =
      QDir(folders_.programsMenu).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  const QDir entries(folders_.menuDirectories);
  for (const QString& f : entries.entryList({QStringLiteral("*.directory")}, QDir::Files)) {
    const QString name =
        IniFile(entries.filePath(f)).value(QStringLiteral("Desktop Entry"), QStringLiteral("Name"));
    if (!name.isEmpty()) names << name;
  }
  names.removeDuplicates();
  names.sort(Qt::CaseInsensitive);
  existing_->clear();
  existing_->addItems(names);
}

void FInst::ok() {
  if (mode() == SetupMode::Uninstall) {
    switch (performUninstall(folders_, startCopy_)) {
      case UninstallStart::Started:
        accept();
        return;
      case UninstallStart::StartFailed:
        messageBox_(language_.Text(119), true);
        return;
      case UninstallStart::NothingToRemove:
        messageBox_(language_.Text(43), true);
        return;
    }
  }
  SetupChoice c;
  c.mode = mode();
  c.destination = destination_->text();
  c.keepSettings = !keep_->isHidden() && keep_->isChecked();
  c.renameOld = !rename_->isHidden() && rename_->isChecked();
  c.group = withSlash(group_->text());
  c.comTcp = port_->currentIndex();
  c.comNoText = comNo_->text();
  c.desktopIcon = desktopIcon_->isChecked();
  c.startupIcon = startupIcon_->isChecked();
  if (const auto failure = performSetup(c, folders_)) {
    messageBox_(language_.Text(failure->text, {failure->arg}), true);
    return;
  }
  hide();
  messageBox_(language_.Text(118), false);
  accept();
}

}  // namespace kolvane::install
