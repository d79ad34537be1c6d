#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "unit/qt_print.h"

#include "context/startup_options.h"
#include "core/program_folder.h"
#include "core/status_report.h"
#include "gsm/serial_device_link.h"

namespace kolvane {
namespace {

TEST(ProgramFolder, TheUserFolderStandsInForAProgramFolderThatIsNoPlaceForFiles) {
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", home.path().toUtf8());
  const QString user = home.path() + "/kolvane/";
  const struct {
    QString programFile;
    QString dir;
    bool fallback;
    QString expected;
  } cases[] = {
      {"/usr/bin/Kolvane", "", true, user},                     // a folder of system programs
      {"/usr/bin/Kolvane", "/srv/k", true, "/srv/k/"},          // --dir wins
      {"/usr/bin/Kolvane", "", false, "/usr/bin/"},             // the installer keeps its folder
      {"/nonexistent/Kolvane", "", true, user},                 // no folder to write into
      {home.filePath("Kolvane"), "", true, home.path() + "/"},  // an installed copy's own folder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.programFile.toStdString());
    StartupOptions o;
    o.programFile = c.programFile;
    o.programDir = c.dir;
    o.userFolderFallback = c.fallback;
    const ProgramFolder f = resolveProgramFolder(o);
    EXPECT_EQ(f.path, c.expected);
    EXPECT_EQ(f.userFolder, c.expected == user);
  }
  qunsetenv("XDG_DATA_HOME");
  EXPECT_EQ(userDataFolder(), QDir::homePath() + "/.local/share/kolvane/");

  // Made private on first use; a file or an unwritable folder is of no use.
  EXPECT_EQ(prepareProgramFolder(user), 0);
  EXPECT_EQ(QFileInfo(user).permissions() & 0x0077, 0);
  QFile plain(home.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  EXPECT_EQ(prepareProgramFolder(plain.fileName()), 417);
  EXPECT_EQ(prepareProgramFolder(plain.fileName() + "/below"), 415);
  if (::geteuid() != 0) {  // root may write anywhere
    EXPECT_EQ(prepareProgramFolder("/proc"), 416);
  }
}

TEST(SerialOpenProblem, NamesWhatTheUserCanDoAboutIt) {
  QTemporaryDir dir;
  EXPECT_EQ(serialOpenProblem(dir.filePath("ttyUSB9")), SerialOpenProblem::Missing);
  QFile device(dir.filePath("ttyUSB0"));
  ASSERT_TRUE(device.open(QIODevice::WriteOnly));
  device.setPermissions(QFileDevice::ReadOwner);
  // Root may open any device: what stops it is another program holding it.
  EXPECT_EQ(serialOpenProblem(device.fileName()),
            ::geteuid() == 0 ? SerialOpenProblem::Busy : SerialOpenProblem::Denied);
  device.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  EXPECT_EQ(serialOpenProblem(device.fileName()), SerialOpenProblem::Busy);
}

TEST(StatusNotes, CountersSinceStartAndTheLastErrorAndSignal) {
  StatusNotes notes;
  notes.begin(1000.5, {2, 0, 5, 0});
  notes.foldCounters({3, 1, 5, 0});
  notes.foldCounters({0, 2, 1, 0});  // below what was seen: the day began again
  EXPECT_EQ(notes.sinceStart(), (std::array<int, 4>{1, 2, 1, 0}));

  const struct {
    const char* line;
    bool error;
  } lines[] = {
      {"Serial device /dev/ttyUSB0 cannot be opened: missing", true},
      {"!!! Smtp.Run - Mishmash in file !!!", true},
      {"Chyba 10061 na TCP portu GSM brány", true},
      {"SMTP server listens", false},
      {"GSM gateway dispatched SMS to +420777", false},
  };
  for (const auto& l : lines) EXPECT_EQ(isErrorLine(l.line), l.error) << l.line;
  notes.noteLine("Connection to GSM Gate through TCP-IP failed.", 1000.6);
  notes.noteLine("GSM kvalita signálu: 68%", 1000.7);
  notes.noteLine("SMTP server listens", 1000.8);
  EXPECT_EQ(notes.lastError().text, "Connection to GSM Gate through TCP-IP failed.");
  EXPECT_EQ(notes.lastError().at, 1000.6);
  EXPECT_EQ(notes.lastSignal().text, "68%");
}

}  // namespace
}  // namespace kolvane
