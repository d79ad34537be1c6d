#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "core/start_mode.h"
#include "install/finst.h"
#include "platform/ini_file.h"
#include "settings/language.h"
#include "unit/qt_print.h"

using namespace kolvane;
using namespace kolvane::install;

namespace {

void write(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

QByteArray read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file below a folder, relative to it.
QStringList filesBelow(const QString& root) {
  QStringList out;
  QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) out << QDir(root).relativeFilePath(it.next());
  out.sort();
  return out;
}

// One desktop in a temporary home: the wizard is driven as a user would, page by page.
class InstallerWizard : public ::testing::Test {
 protected:
  void SetUp() override { useHome(homeDir.path()); }
  void useHome(const QString& folder) {
    home = withSlash(folder);
    qputenv("HOME", home.toUtf8());
    for (const char* v : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR"}) qunsetenv(v);
    dest = home + ".local/opt/Kolvane/";
    write(home + "Downloads/Kolvane_SETUP", "program 1");
  }

  SetupFolders foldersFor(const QString& programFile) {
    SetupFolders f = desktopFolders(programFile, QFileInfo(programFile).absolutePath());
    f.programFiles = home + ".local/opt/";  // the tests may run as root
    f.temp = home + "tmp/";
    QDir().mkpath(f.temp);
    return f;
  }

  std::unique_ptr<FInst> wizard(const QString& programFile) {
    auto w = std::make_unique<FInst>(language, "1.0.0.0", foldersFor(programFile));
    w->setMessageBox(
        [this](const QString& text, bool error) { messages << (error ? "error: " : "") + text; });
    w->setCopyStarter([this](const QString& copy, const QString& folder) {
      started << copy << folder;
      return true;
    });
    w->show();
    return w;
  }

  template <typename T>
  T* child(FInst& w, const char* name) {
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  void click(FInst& w, const char* name) {
    auto* b = child<QAbstractButton>(w, name);
    ASSERT_TRUE(b->isEnabled() && b->isVisible()) << name;
    // Near the left edge: radio buttons and check boxes answer on their box and text only.
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
  }
  void next(FInst& w) { click(w, "BtNext"); }
  void type(FInst& w, const char* name, const QString& text) {
    child<QLineEdit>(w, name)->setText(text);
  }

  // A new installation as the user clicks it, into `into` (the proposed folder when empty)
  // with the program group `group`.
  void installNew(const QString& into = {}, const QString& group = {}) {
    auto w = wizard(home + "Downloads/Kolvane_SETUP");
    click(*w, "RbInstNew");
    next(*w);
    EXPECT_FALSE(child<QPushButton>(*w, "BtNext")->isEnabled());
    click(*w, "BtAgree");
    next(*w);
    EXPECT_EQ(child<QLineEdit>(*w, "EdDestination")->text(), dest);
    if (!into.isEmpty()) dest = into;
    type(*w, "EdDestination", dest.chopped(1));
    if (into.isEmpty()) {
      EXPECT_EQ(child<QLabel>(*w, "LaStatus")->text(), "Selected New Folder");
    }
    next(*w);
    EXPECT_EQ(child<QLineEdit>(*w, "EdDestination")->text(), dest);
    ASSERT_EQ(w->currentPage(), FInst::GroupPage);
    EXPECT_EQ(child<QLineEdit>(*w, "EdGroup")->text(), "Kolvane/");
    if (!group.isEmpty()) type(*w, "EdGroup", group);
    click(*w, "CbAddToDesktop");
    click(*w, "CbAddToStartup");
    next(*w);
    type(*w, "EdComNo", "3");
    next(*w);
    click(*w, "BtOK");
    EXPECT_EQ(messages, QStringList{"Installation completed"});
    messages.clear();
  }

  // The uninstall as the user clicks it, then the copy's part as its start-up runs it.
  void uninstall() {
    auto w = wizard(dest + "Kolvane");
    click(*w, "RbInstUninstall");
    next(*w);
    next(*w);
    click(*w, "BtOK");
    ASSERT_EQ(started.size(), 2);
    EXPECT_TRUE(removeInstallation(
        started[1], foldersFor(started[0]), [] {}, [](const QString&) {}));
  }

  QStringList installedFiles() const {
    const QString d = QDir(home).relativeFilePath(dest) + "/";
    return {d + "Kolvane",
            d + "Kolvane.ini",
            d + "Kolvane.files",
            ".local/share/applications/kolvane-kolvane.desktop",
            ".local/share/applications/kolvane-setup-uninstall.desktop",
            ".local/share/desktop-directories/kolvane-group-1.directory",
            ".config/menus/applications-merged/kolvane-group.menu",
            ".local/share/kolvane/uninstall.ini",
            "Desktop/Kolvane.desktop",
            "Downloads/Kolvane_SETUP",
            ".config/autostart/Kolvane.desktop"};
  }
  QStringList sorted(QStringList l) const {
    l.sort();
    return l;
  }
  QString cfg(const char* key) const { return IniFile(dest + "Kolvane.ini").value("CFG", key); }

  QTemporaryDir homeDir;
  QString home, dest;
  Language language{QDir::tempPath()};
  QStringList messages, started;
};

}  // namespace

TEST_F(InstallerWizard, InstallNewWritesProgramSettingsMenuIconsAndRecord) {
  installNew();
  EXPECT_EQ(filesBelow(home), sorted(installedFiles()));
  EXPECT_EQ(read(dest + "Kolvane"), "program 1");
  EXPECT_EQ(cfg("ComTcp"), "0");
  EXPECT_EQ(cfg("ComNo"), "3");
  EXPECT_EQ(cfg("LnkDir"), "Kolvane/");
  const IniFile record(home + ".local/share/kolvane/uninstall.ini");
  EXPECT_EQ(record.value("Kolvane", "DisplayName"), "Kolvane");
  EXPECT_EQ(record.value("Kolvane", "UninstallString"), dest + "Kolvane *I");
  EXPECT_EQ(record.value("Kolvane", "DisplayIcon"), dest + "Kolvane");
  EXPECT_TRUE(read(home + ".local/share/applications/kolvane-setup-uninstall.desktop")
                  .contains("\nExec=\"" + dest.toUtf8() + "Kolvane\" \"*I\"\n"));
  EXPECT_EQ(read(dest + "Kolvane.files"), "Kolvane\nKolvane.ini\n");
  // The group is a submenu of the applications menu.
  EXPECT_TRUE(
      read(home + ".config/menus/applications-merged/kolvane-group.menu")
          .contains("<Menu>\n<Name>Kolvane</Name>\n<Directory>kolvane-group-1.directory"
                    "</Directory>\n<Include>\n<Filename>kolvane-kolvane.desktop</Filename>"));
  // Every entry passes the desktop's own validator.
  for (const QString& f : filesBelow(home)) {
    if (!f.endsWith(".desktop") && !f.endsWith(".directory")) continue;
    QProcess validate;
    validate.start("desktop-file-validate", {home + f});
    ASSERT_TRUE(validate.waitForFinished(10000)) << "desktop-file-validate not installed";
    EXPECT_EQ(validate.exitCode(), 0) << f.toStdString() << validate.readAll().toStdString();
    EXPECT_EQ(validate.readAllStandardOutput(), "") << f.toStdString();
  }
}

TEST_F(InstallerWizard, UpgradeKeepsSettingsAndTheOldProgram) {
  installNew();
  IniFile(dest + "Kolvane.ini").setValue("CFG", "SmtpPort", "2525");
  write(home + "Downloads/Kolvane_SETUP", "program 2");
  auto w = wizard(home + "Downloads/Kolvane_SETUP");
  click(*w, "RbInstUpgrade");
  EXPECT_EQ(w->windowTitle(), "Kolvane Setup  -  Upgrade  /  Reinstall");
  next(*w);
  ASSERT_EQ(w->currentPage(), FInst::PathPage);
  EXPECT_EQ(child<QLabel>(*w, "LaStatus")->text(), "Folder contains :");
  auto* keep = child<QCheckBox>(*w, "CbKeepIni");
  auto* rename = child<QCheckBox>(*w, "CbRenameOld");
  EXPECT_TRUE(keep->isVisible() && keep->isChecked() && keep->isEnabled());
  EXPECT_TRUE(rename->isVisible() && rename->isChecked() && !rename->isEnabled());
  next(*w);
  ASSERT_EQ(w->currentPage(), FInst::EndPage);
  click(*w, "BtOK");
  EXPECT_EQ(messages, QStringList{"Installation completed"});
  EXPECT_EQ(filesBelow(home), sorted(installedFiles() << ".local/opt/Kolvane/Kolvane_Old"));
  EXPECT_EQ(read(dest + "Kolvane"), "program 2");
  EXPECT_EQ(read(dest + "Kolvane_Old"), "program 1");
  EXPECT_EQ(cfg("SmtpPort"), "2525");
  EXPECT_EQ(cfg("ComNo"), "3");
  EXPECT_EQ(cfg("LnkDir"), "Kolvane/");
}

TEST_F(InstallerWizard, UpgradeWithoutKeepingRetiresTheSettings) {
  installNew();
  auto w = wizard(home + "Downloads/Kolvane_SETUP");
  click(*w, "RbInstUpgrade");
  next(*w);
  click(*w, "CbKeepIni");
  next(*w);
  click(*w, "BtOK");
  EXPECT_EQ(read(dest + "Kolvane_Old.ini"), read(dest + "Kolvane.ini"));
  EXPECT_EQ(cfg("ComNo"), "3");
}

TEST_F(InstallerWizard, ChangeSetupRewritesThePortAndKeepsTheRest) {
  installNew();
  IniFile(dest + "Kolvane.ini").setValue("CFG", "SmtpPort", "2525");
  auto w = wizard(dest + "Kolvane");
  click(*w, "RbInstChange");
  next(*w);
  EXPECT_TRUE(child<QLabel>(*w, "LaIniChanged")->isVisible());
  next(*w);
  ASSERT_EQ(w->currentPage(), FInst::GroupPage);
  EXPECT_EQ(child<QListWidget>(*w, "LiFolders")->item(0)->text(), "Kolvane");
  next(*w);
  EXPECT_EQ(child<QLineEdit>(*w, "EdComNo")->text(), "3");
  child<QComboBox>(*w, "CoGsmPort")->setCurrentIndex(1);
  EXPECT_FALSE(child<QLineEdit>(*w, "EdComNo")->isVisible());
  next(*w);
  click(*w, "BtBack");
  EXPECT_EQ(w->currentPage(), FInst::PortPage);
  next(*w);
  click(*w, "BtOK");
  EXPECT_EQ(filesBelow(home), sorted(installedFiles()));
  EXPECT_EQ(cfg("ComTcp"), "1");
  EXPECT_EQ(cfg("SmtpPort"), "2525");
}

TEST_F(InstallerWizard, UninstallRemovesWhatItWroteAndNothingElse) {
  installNew();
  write(dest + "Log.txt", "log");  // the program's, not the installer's
  auto w = wizard(dest + "Kolvane");
  click(*w, "RbInstUninstall");
  next(*w);
  EXPECT_TRUE(child<QLineEdit>(*w, "EdDestination")->isReadOnly());
  EXPECT_TRUE(child<QLabel>(*w, "LaFolderRemoved")->isVisible());
  next(*w);
  click(*w, "BtBack");
  EXPECT_EQ(w->currentPage(), FInst::PathPage);
  next(*w);
  click(*w, "BtOK");
  EXPECT_TRUE(messages.isEmpty());
  ASSERT_EQ(started.size(), 2);
  EXPECT_TRUE(QFileInfo(started[0]).fileName().startsWith("U_"));
  EXPECT_EQ(read(started[0]), "program 1");
  EXPECT_EQ(started[1], dest);
  // The copy's part, as its start-up runs it.
  EXPECT_EQ(startModeOf(started[0], started[1], home + "tmp").kind, StartMode::Uninstaller);
  EXPECT_TRUE(removeInstallation(
      started[1], foldersFor(started[0]), [] {}, [](const QString&) {}));
  EXPECT_EQ(filesBelow(home), QStringList({".local/opt/Kolvane/Log.txt", "Downloads/Kolvane_SETUP",
                                           "tmp/" + QFileInfo(started[0]).fileName()}));
}

TEST_F(InstallerWizard, AUsersFolderAndASharedGroupKeepWhatIsNotTheInstallers) {
  // The user's files, and another program's entries in the menu group "Office".
  const QStringList theirs = {"Documents/notes.txt",
                              "Documents/photo.jpg",
                              ".local/share/applications/Office/other-app.desktop",
                              ".local/share/applications/Office/.directory",
                              ".local/share/desktop-directories/Office.directory",
                              ".config/menus/applications-merged/other-app.menu"};
  for (const QString& f : theirs) write(home + f, "theirs");
  installNew(home + "Documents/", "Office/");
  EXPECT_TRUE(read(home + ".config/menus/applications-merged/kolvane-group.menu")
                  .contains("<Name>Office</Name>"));
  uninstall();
  EXPECT_EQ(filesBelow(home),
            sorted(QStringList(theirs) << "Downloads/Kolvane_SETUP"
                                       << "tmp/" + QFileInfo(started[0]).fileName()));
  for (const QString& f : theirs) EXPECT_EQ(read(home + f), "theirs") << f.toStdString();
}

TEST_F(InstallerWizard, AChangedGroupReplacesTheOldOne) {
  installNew({}, "Office/Tools/");
  EXPECT_TRUE(QFile::exists(home + ".local/share/desktop-directories/kolvane-group-2.directory"));
  auto w = wizard(dest + "Kolvane");
  click(*w, "RbInstChange");
  next(*w);
  next(*w);
  EXPECT_EQ(child<QLineEdit>(*w, "EdGroup")->text(), "Office/Tools/");
  type(*w, "EdGroup", "Gateway/");
  next(*w);
  next(*w);
  click(*w, "BtOK");
  const QByteArray menu = read(home + ".config/menus/applications-merged/kolvane-group.menu");
  EXPECT_TRUE(menu.contains("<Name>Gateway</Name>"));
  EXPECT_FALSE(menu.contains("Office"));
  EXPECT_FALSE(QFile::exists(home + ".local/share/desktop-directories/kolvane-group-2.directory"));
  EXPECT_EQ(cfg("LnkDir"), "Gateway/");
}

TEST_F(InstallerWizard, AFailedCopyKeepsTheOriginalAndSaysWhichFile) {
  write(home + "Downloads/Kolvane_SETUP", QByteArray(64 * 1024, 'p'));
  installNew();
  // Past a file-size limit a copy fails like on a full disk.
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 16 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  auto w = wizard(home + "Downloads/Kolvane_SETUP");
  click(*w, "RbInstUpgrade");
  next(*w);
  next(*w);
  click(*w, "BtOK");
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(messages, QStringList{"error: Saving to " + dest + "Kolvane_Old failed"});
  EXPECT_EQ(read(dest + "Kolvane"), QByteArray(64 * 1024, 'p'));
}

TEST_F(InstallerWizard, UninstallWithoutAGroupRemovesNothing) {
  installNew();
  IniFile(dest + "Kolvane.ini").removeKey("CFG", "LnkDir");
  auto w = wizard(dest + "Kolvane");
  click(*w, "RbInstUninstall");
  next(*w);
  next(*w);
  click(*w, "BtOK");
  EXPECT_EQ(messages, QStringList{"error: Uninstallation failed"});
  EXPECT_TRUE(started.isEmpty());
  EXPECT_EQ(filesBelow(home), sorted(installedFiles()));
}

TEST_F(InstallerWizard, PathPageRulesAndLanguage) {
  auto w = wizard(home + "Downloads/Kolvane_SETUP");
  EXPECT_FALSE(child<QPushButton>(*w, "BtBack")->isEnabled());
  EXPECT_FALSE(child<QPushButton>(*w, "BtNext")->isEnabled());
  EXPECT_FALSE(child<QPushButton>(*w, "BtOK")->isVisible());
  click(*w, "RbInstUpgrade");
  next(*w);
  type(*w, "EdDestination", "/usr/");
  EXPECT_EQ(child<QLabel>(*w, "LaStatus")->text(), "Selected unauthorized Folder");
  type(*w, "EdDestination", "/srv/a|b");
  EXPECT_EQ(child<QLabel>(*w, "LaStatus")->text(), "Selected Wrong name Folder");
  write(home + "other/notes.txt", "");
  type(*w, "EdDestination", home + "other/");
  EXPECT_EQ(child<QLabel>(*w, "LaMissing")->text(), "Kolvane.ini  and  Kolvane  missing");
  EXPECT_FALSE(child<QPushButton>(*w, "BtNext")->isEnabled());
  type(*w, "EdDestination", home + "new");
  EXPECT_EQ(child<QLabel>(*w, "LaModeHint")->text(), "For  -  Upgrade  /  Reinstall");
  click(*w, "CZ");
  EXPECT_EQ(child<QLabel>(*w, "LaStatus")->text(), "Vybrána nová složka");
  EXPECT_EQ(child<QLabel>(*w, "LaModeHint")->text(), "For  -  Aktualizovat  /  Přeinstalovat");
  language.setLanguage("EN");
}

// Pictures of every page for the documentation: scripts/installer-screenshots.sh runs this
// under a virtual display with KOLVANE_SHOTS set to the output folder.
TEST_F(InstallerWizard, DISABLED_Screenshots) {
  const QString out = qEnvironmentVariable("KOLVANE_SHOTS");
  ASSERT_FALSE(out.isEmpty());
  // The pages show the paths of a user's home, not of a test folder, when one can be made.
  const QString user = QStringLiteral("/home/office");
  const bool ownHome = !QFileInfo::exists(user) && QDir().mkpath(user);
  if (ownHome) useHome(user);
  const auto cleanUp = qScopeGuard([&] {
    if (ownHome) QDir(user).removeRecursively();
  });
  installNew();
  const auto shot = [&](FInst& w, const QString& name) {
    QTest::qWait(300);
    EXPECT_TRUE(w.screen()->grabWindow(w.winId()).save(out + "/installer-" + name + ".png"));
  };
  for (const char* lang : {"EN", "CZ"}) {
    const QString suffix = "-" + QString::fromLatin1(lang).toLower();
    language.setLanguage(lang);
    auto w = wizard(home + "Downloads/Kolvane_SETUP");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    shot(*w, "1-mode" + suffix);
    click(*w, "RbInstNew");
    next(*w);
    click(*w, "BtAgree");
    shot(*w, "2-licence" + suffix);
    next(*w);
    type(*w, "EdDestination", home + ".local/opt/Kolvane2/");
    shot(*w, "3-path-new" + suffix);
    type(*w, "EdDestination", dest);
    shot(*w, "4-path-existing" + suffix);
    next(*w);
    click(*w, "CbAddToDesktop");
    shot(*w, "5-group" + suffix);
    next(*w);
    shot(*w, "6-port" + suffix);
    next(*w);
    shot(*w, "7-end" + suffix);
    for (int page = FInst::EndPage; page > FInst::ModePage; --page) click(*w, "BtBack");
    click(*w, "RbInstUpgrade");
    next(*w);
    shot(*w, "8-path-upgrade" + suffix);
    type(*w, "EdDestination", home + "new/");
    shot(*w, "9-path-hint" + suffix);
    auto u = wizard(dest + "Kolvane");
    click(*u, "RbInstUninstall");
    next(*u);
    shot(*u, "10-path-uninstall" + suffix);
  }
  language.setLanguage("EN");
}

int main(int argc, char** argv) {
  // Windows are tested offscreen, also while the test list is collected.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
