#pragma once

#include <QString>

namespace kolvane {

struct StartupOptions;

// The folder of the program's files (settings, stores, logs), with a trailing "/": the one
// named on the command line, else the program file's own folder, else, when that is no place
// for the files (not writable, or a folder of system programs such as /usr/bin) and the caller
// allows it, the user's data folder.
struct ProgramFolder {
  QString path;
  QString programFileFolder;  // the program file's folder, with a trailing "/"
  bool userFolder = false;    // the user's data folder stands in for the program's
};
ProgramFolder resolveProgramFolder(const StartupOptions& options);

// $XDG_DATA_HOME/kolvane, by default ~/.local/share/kolvane, with a trailing "/".
QString userDataFolder();

// Makes the folder (private to the user) when it is missing. 0 when the program can keep its
// files there, else the catalogue number of the reason.
int prepareProgramFolder(const QString& path);

}  // namespace kolvane
