#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/start_mode.h"
#include "install/desktop_entries.h"
#include "install/destination_check.h"
#include "install/setup_run.h"

using namespace kolvane;
using namespace kolvane::install;

namespace {

void touch(const QString& path, const QByteArray& data = "x") {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

class InstallRules : public ::testing::Test {
 protected:
  void SetUp() override {
    root = withSlash(tmp.path());
    folders.programFiles = root + "opt/";
    folders.programDir = root + "download/";
    folders.programFile = folders.programDir + "Kolvane_SETUP";
    folders.programsMenu = root + "applications/";
    touch(root + "empty/.keep");
    QFile::remove(root + "empty/.keep");
    touch(root + "ini-only/Kolvane.ini");
    touch(root + "both/kolvane.INI");
    touch(root + "both/Kolvane");
    touch(root + "prog-only/Kolvane");
    touch(root + "other/notes.txt");
  }
  QTemporaryDir tmp;
  QString root;
  SetupFolders folders;
};

}  // namespace

TEST_F(InstallRules, RejectedDestinations) {
  using S = PathPageView::Status;
  const std::tuple<QString, SetupMode, S> cases[] = {
      {"", SetupMode::InstallNew, S::WrongName},
      {"relative/Kolvane", SetupMode::InstallNew, S::WrongName},
      {"/srv/Kol|vane/", SetupMode::InstallNew, S::WrongName},
      {"/srv//Kolvane/", SetupMode::InstallNew, S::WrongName},
      {"/srv/Kol\nvane/", SetupMode::InstallNew, S::WrongName},
      {"/", SetupMode::InstallNew, S::Unauthorized},
      {"/usr/", SetupMode::InstallNew, S::Unauthorized},
      {"/usr/lib/..", SetupMode::Change, S::Unauthorized},
      {"/usr/bin", SetupMode::InstallNew, S::Unauthorized},
      {"/usr/local/kolvane/", SetupMode::InstallNew, S::Unauthorized},
      {"/etc/kolvane", SetupMode::InstallNew, S::Unauthorized},
      {"/var/lib/kolvane/", SetupMode::Upgrade, S::Unauthorized},
      {QDir::homePath(), SetupMode::InstallNew, S::Unauthorized},
      {root + "OPT", SetupMode::InstallNew, S::Unauthorized},
      {root + "download", SetupMode::InstallNew, S::Unauthorized},
      {root + "download/", SetupMode::Upgrade, S::Unauthorized},
  };
  for (const auto& [path, mode, status] : cases) {
    const PathPageView v = pathPageView(checkDestination(path, mode, folders), mode);
    EXPECT_EQ(v.status, status) << path.toStdString();
    EXPECT_FALSE(v.nextEnabled || v.modeHint || v.keepShown || v.renameShown) << path.toStdString();
  }
}

TEST_F(InstallRules, DestinationStatusBoxesAndNext) {
  using S = PathPageView::Status;
  using N = PathPageView::Note;
  using M = SetupMode;
  struct Case {
    QString path;
    M mode;
    S status;
    bool next;
    bool keep, keepChecked, rename, renameChecked, renameEnabled;
    N note;
    QString missing;
  };
  // clang-format off
  const Case cases[] = {
      {root + "new/", M::InstallNew, S::New, true, false, false, false, false, true, N::None, ""},
      {root + "empty", M::InstallNew, S::Empty, true, false, false, false, false, true, N::None, ""},
      {root + "empty/", M::Upgrade, S::Empty, false, false, false, false, false, true, N::None, ""},
      {root + "download/", M::Change, S::New, false, false, false, false, false, true, N::None, ""},
      {root + "other/", M::InstallNew, S::Contains, true, false, false, false, false, true, N::None, ""},
      {root + "both/", M::InstallNew, S::Contains, true, true, true, true, true, true, N::None, ""},
      {root + "prog-only/", M::InstallNew, S::Contains, true, false, false, true, false, true, N::None, ""},
      {root + "ini-only/", M::InstallNew, S::Contains, true, true, true, false, true, true, N::None, ""},
      {root + "both/", M::Upgrade, S::Contains, true, true, true, true, true, false, N::None, ""},
      {root + "both/", M::Change, S::Contains, true, false, false, false, false, true, N::SettingsChanged, ""},
      {root + "both/", M::Uninstall, S::Contains, true, false, false, false, false, true, N::FolderRemoved, ""},
      {root + "prog-only/", M::Upgrade, S::Contains, false, false, false, false, false, true, N::Missing, "Kolvane.ini  missing"},
      {root + "ini-only/", M::Change, S::Contains, false, false, false, false, false, true, N::Missing, "Kolvane  missing"},
      {root + "other/", M::Uninstall, S::Contains, false, false, false, false, false, true, N::Missing, "Kolvane.ini  and  Kolvane  missing"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString() + " mode " + std::to_string(int(c.mode)));
    const PathPageView v = pathPageView(checkDestination(c.path, c.mode, folders), c.mode);
    EXPECT_EQ(v.status, c.status);
    EXPECT_EQ(v.nextEnabled, c.next);
    EXPECT_EQ(v.keepShown, c.keep);
    EXPECT_EQ(v.keepChecked, c.keepChecked);
    EXPECT_EQ(v.renameShown, c.rename);
    EXPECT_EQ(v.renameChecked, c.renameChecked);
    EXPECT_EQ(v.renameEnabled, c.renameEnabled);
    EXPECT_EQ(v.note, c.note);
    EXPECT_EQ(v.missing, c.missing);
    EXPECT_EQ(v.modeHint, c.mode != M::InstallNew && (c.status == S::New || c.status == S::Empty));
  }
}

TEST(GroupName, StaysInsideTheMenuFolder) {
  const std::pair<const char*, bool> cases[] = {{"Kolvane/", true},     {"Office/Kolvane/", true},
                                                {"Kolvane", true},      {"", false},
                                                {"/Kolvane/", false},   {"Office//Kolvane/", false},
                                                {"../Kolvane/", false}, {"Office/../../", false},
                                                {"./", false},          {"Kol:vane/", false},
                                                {"Kol\\vane/", false},  {"Kol*vane/", false},
                                                {"Kol\"vane/", false},  {"Kol|vane/", false}};
  for (const auto& [group, valid] : cases) {
    EXPECT_EQ(groupNameValid(QString::fromUtf8(group)), valid) << group;
  }
}

TEST(DesktopExec, QuotesWhatTheShellWouldRead) {
  const std::pair<const char*, const char*> cases[] = {
      {"/opt/Kolvane/Kolvane", "\"/opt/Kolvane/Kolvane\""},
      {"/home/a b/Kolvane", "\"/home/a b/Kolvane\""},
      {"/x/$HOME`id`/K", "\"/x/\\$HOME\\`id\\`/K\""},
      {"/x/100%/K", "\"/x/100%%/K\""},
      {"/x/back\\slash", "\"/x/back\\\\slash\""},
      {"*I", "\"*I\""}};
  for (const auto& [arg, exec] : cases) EXPECT_EQ(desktopExecArgument(arg), exec) << arg;
}

TEST(StartModeOf, NameTextAndPlace) {
  QTemporaryDir install;
  const QString temp = QDir::tempPath();
  const struct {
    QString file, text;
    StartMode::Kind kind;
    bool tempCopy;
  } cases[] = {
      {"/srv/k/Kolvane", "", StartMode::Gateway, false},
      {"/srv/k/Kolvane", " *i", StartMode::Installer, false},
      {"/srv/k/Kolvane", "see *important* note", StartMode::Gateway, false},
      {"/srv/k/Kolvane", "*I now", StartMode::Gateway, false},
      {"/srv/k/kolvane_setup", "", StartMode::Installer, false},
      {temp + "/Kolvane", "", StartMode::Gateway, false},
      {temp + "/build/bin/Kolvane", "hello", StartMode::Gateway, false},
      {temp + "/U_123", install.path(), StartMode::Uninstaller, true},
      {temp + "/u_123", " " + install.path() + " ", StartMode::Uninstaller, true},
      {temp + "/U_123", "/no/such/folder", StartMode::EndAtOnce, true},
      {temp + "/U_123", "", StartMode::EndAtOnce, true},
      {temp + "/I_77", "", StartMode::Installer, true},
      {"/srv/k/U_123", install.path(), StartMode::Gateway, false},
  };
  for (const auto& c : cases) {
    const StartMode m = startModeOf(c.file, c.text, temp);
    EXPECT_EQ(m.kind, c.kind) << c.file.toStdString() << " " << c.text.toStdString();
    EXPECT_EQ(m.tempCopy, c.tempCopy) << c.file.toStdString();
  }
}

TEST_F(InstallRules, UninstallerCopyGivesUpOnABusyProgramFile) {
  const QString dest = root + "installed/";
  touch(dest + "Kolvane.ini");
  touch(dest + "Kolvane/busy");  // a program file that cannot be deleted
  touch(dest + "Log.txt");
  int pauses = 0;
  QStringList reports;
  EXPECT_FALSE(removeInstallation(
      dest, folders, [&] { ++pauses; }, [&](const QString& t) { reports << t; }));
  EXPECT_EQ(pauses, 20);  // 21 tries at the file; the folder keeps files, so it stays
  EXPECT_EQ(reports, QStringList{"DeleteFile " + dest + "Kolvane failed"});
  EXPECT_FALSE(QFile::exists(dest + "Kolvane.ini"));
  EXPECT_TRUE(QFile::exists(dest + "Log.txt"));  // not the installer's
  EXPECT_TRUE(QFile::exists(dest + "Kolvane/busy"));
}

TEST_F(InstallRules, UninstallerCopyLeavesAFolderWithoutAnInstallation) {
  for (const QString& folder : {root + "other", root + "ini-only", root + "prog-only"}) {
    const QStringList before = QDir(folder).entryList(QDir::Files);
    EXPECT_FALSE(removeInstallation(
        folder, folders, [] {}, [](const QString&) {}));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), before);
  }
}
