#include "install/setup_folders.h"

#include <unistd.h>

#include <QDir>
#include <QStandardPaths>

#include "core/start_mode.h"

namespace kolvane::install {

SetupFolders desktopFolders(const QString& programFile, const QString& programDir) {
  const auto place = [](QStandardPaths::StandardLocation l) {
    return withSlash(QStandardPaths::writableLocation(l));
  };
  SetupFolders f;
  f.programFile = programFile;
  f.programDir = withSlash(programDir);
  f.programFiles =
      ::geteuid() == 0 ? QStringLiteral("/opt/") : withSlash(QDir::homePath()) + ".local/opt/";
  f.programsMenu = place(QStandardPaths::ApplicationsLocation);
  f.menuDirectories = place(QStandardPaths::GenericDataLocation) + "desktop-directories/";
  f.mergedMenus = place(QStandardPaths::GenericConfigLocation) + "menus/applications-merged/";
  f.desktop = place(QStandardPaths::DesktopLocation);
  f.startup = place(QStandardPaths::GenericConfigLocation) + "autostart/";
  f.temp = withSlash(QDir::tempPath());
  f.uninstallRecord = place(QStandardPaths::GenericDataLocation) + "kolvane/uninstall.ini";
  return f;
}

}  // namespace kolvane::install
