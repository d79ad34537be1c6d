#pragma once

#include <QString>

#include "install/setup_folders.h"

namespace kolvane::install {

// One argument of an Exec line, quoted and escaped for desktop entry files.
QString desktopExecArgument(const QString& argument);

// The program group as a submenu of the applications menu: the two entries "Kolvane" and
// "Setup-Uninstall", a directory entry per level of `group` (which ends in "/") and a menu file
// merged into the applications menu. Only files named for the program are written, so other
// programs' entries and menus stay as they are. False when a file cannot be written.
bool writeMenuGroup(const SetupFolders& folders, const QString& group, const QString& destination);
// Copies the menu's "Kolvane" entry into a folder (the desktop or autostart).
bool copyGroupEntry(const SetupFolders& folders, const QString& folder);
// Removes the entries an earlier version kept in a folder named for the group, leaving other
// programs' files there.
void removeFolderStyleGroup(const SetupFolders& folders, const QString& group);
// Removes the program's menu files, and the desktop and autostart copies written on the same
// day as its menu entry.
void removeMenuGroup(const SetupFolders& folders, const QString& group);

// The removal entry: DisplayName, UninstallString and DisplayIcon.
bool writeUninstallRecord(const SetupFolders& folders, const QString& destination);
// Removes the entry when it belongs to the installation in `destination`.
void removeUninstallRecord(const SetupFolders& folders, const QString& destination);

}  // namespace kolvane::install
