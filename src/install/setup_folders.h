#pragma once

#include <QString>

namespace kolvane::install {

// The four things the wizard can do, in the order of its radio buttons.
enum class SetupMode { InstallNew, Upgrade, Change, Uninstall };

// The file names of an installation.
inline constexpr char kProgramName[] = "Kolvane";
inline constexpr char kOldProgramName[] = "Kolvane_Old";
inline constexpr char kSettingsName[] = "Kolvane.ini";
inline constexpr char kOldSettingsName[] = "Kolvane_Old.ini";
inline constexpr char kEntryName[] = "Kolvane.desktop";
// The list of the files the installer wrote into the destination, one name a line.
inline constexpr char kWrittenListName[] = "Kolvane.files";

// The desktop's folders the wizard works with; every folder ends in "/".
struct SetupFolders {
  QString programFile;      // the running program file
  QString programDir;       // its folder
  QString programFiles;     // "/opt/" for root, else "~/.local/opt/"
  QString programsMenu;     // the applications menu folder
  QString menuDirectories;  // the menus' directory entries (desktop-directories)
  QString mergedMenus;      // menu files merged into the applications menu
  QString desktop;
  QString startup;  // the autostart folder
  QString temp;
  QString uninstallRecord;  // the removal entry's file
};

// The folders of this user's desktop, for the running program file.
SetupFolders desktopFolders(const QString& programFile, const QString& programDir);

}  // namespace kolvane::install
