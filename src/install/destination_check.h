#pragma once

#include <QString>
#include <QStringList>

#include "install/setup_folders.h"

namespace kolvane::install {

// What the path page learns about a destination folder.
struct DestinationCheck {
  bool nameOk = false;
  bool placeOk = false;
  bool exists = false;
  bool hasSettings = false;  // "Kolvane.ini" among the entries
  bool hasProgram = false;   // "Kolvane" among the entries
  QStringList entries;       // files and subfolders, when both rules pass
};

// An absolute path free of the characters other programs choke on.
bool destinationNameValid(const QString& path);
// Not the root, a top-level system folder, a folder inside a system tree (/usr, /etc, ...),
// the home folder, Program Files itself, nor (for a new install or an upgrade) the folder the
// wizard runs from.
bool destinationPlaceAllowed(const QString& path, SetupMode mode, const SetupFolders& folders);
DestinationCheck checkDestination(const QString& path, SetupMode mode, const SetupFolders& folders);

// What the path page shows for a checked destination.
struct PathPageView {
  // The status line, catalogue texts 1 to 5 in this order.
  enum class Status { Contains = 1, Empty, New, WrongName, Unauthorized };
  enum class Note { None, SettingsChanged, FolderRemoved, Missing };
  Status status = Status::New;
  bool modeHint = false;  // "For  -  " + mode + "select old installation"
  bool keepShown = false, keepChecked = false, keepEnabled = true;
  bool renameShown = false, renameChecked = false, renameEnabled = true;
  Note note = Note::None;
  QString missing;  // for Note::Missing: "Kolvane.ini  and  Kolvane  missing" and shorter forms
  bool nextEnabled = false;
};

PathPageView pathPageView(const DestinationCheck& check, SetupMode mode);

// A program group below the menu folder: relative, one "/" between names, no "." or "..".
bool groupNameValid(const QString& group);

}  // namespace kolvane::install
