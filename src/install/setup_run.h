#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "install/setup_folders.h"

namespace kolvane::install {

// What the wizard's pages chose.
struct SetupChoice {
  SetupMode mode = SetupMode::InstallNew;
  QString destination;  // ends in "/"
  bool keepSettings = false;
  bool renameOld = false;
  QString group;  // ends in "/"
  int comTcp = 0;
  QString comNoText;
  bool desktopIcon = false;
  bool startupIcon = false;
};

// A step that failed: catalogue text 66 or 67 with its argument.
struct SetupFailure {
  int text;
  QString arg;
};

// The OK of a new install, an upgrade or a change: program file, settings, menu group,
// removal entry and icons. The files stay as far as they got when a step fails.
std::optional<SetupFailure> performSetup(const SetupChoice& choice, const SetupFolders& folders);

// The wizard's copy of the program for removing an installation; starts it.
using CopyStarter = std::function<bool(const QString& copy, const QString& folder)>;
bool startDetachedCopy(const QString& copy, const QString& folder);

enum class UninstallStart { NothingToRemove, Started, StartFailed };
// The OK of an uninstall: the menu group and icons go, then a copy of the program in the
// temporary folder removes the program folder. Nothing happens without a group in the settings.
UninstallStart performUninstall(const SetupFolders& folders, const CopyStarter& start);

// The uninstaller copy's work: empties and removes an installation's folder, retrying while the
// program file or the folder is busy. Folders that hold no installation are left alone.
bool removeInstallation(const QString& folder, const SetupFolders& folders,
                        const std::function<void()>& pause,
                        const std::function<void(const QString&)>& report);

}  // namespace kolvane::install
