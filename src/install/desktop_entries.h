#pragma once

#include <QString>

#include "install/setup_folders.h"

namespace kolvane::install {

// One argument of an Exec line, quoted and escaped for desktop entry files.
QString desktopExecArgument(const QString& argument);

// The program group: a folder below the menu folder holding ".directory", "Kolvane.desktop"
// and "Setup-Uninstall.desktop". `group` ends in "/". False when a file cannot be written.
bool writeMenuGroup(const SetupFolders& folders, const QString& group, const QString& destination);
// Copies the group's "Kolvane.desktop" into a folder (the desktop or autostart).
bool copyGroupEntry(const SetupFolders& folders, const QString& group, const QString& folder);
// Deletes every file of the group, and when its "Kolvane.desktop" was there the group folder
// and the desktop and autostart copies written on the same day.
void removeMenuGroup(const SetupFolders& folders, const QString& group);

// The removal entry: DisplayName, UninstallString and DisplayIcon.
bool writeUninstallRecord(const SetupFolders& folders, const QString& destination);
// Removes the entry when it belongs to the installation in `destination`.
void removeUninstallRecord(const SetupFolders& folders, const QString& destination);

}  // namespace kolvane::install
