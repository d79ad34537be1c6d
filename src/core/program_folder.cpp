#include "core/program_folder.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "context/startup_options.h"
#include "core/start_mode.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

// Folders of installed system programs: never the place for settings and stores, even for a
// user who may write there.
bool systemProgramFolder(const QString& folder) {
  static const char* const kFolders[] = {"/usr/bin/",  "/usr/sbin/",      "/bin/",
                                         "/sbin/",     "/usr/local/bin/", "/usr/local/sbin/",
                                         "/usr/games/"};
  const QString canonical = withSlash(QFileInfo(folder).canonicalFilePath());
  return std::any_of(std::begin(kFolders), std::end(kFolders),
                     [&](const char* f) { return canonical == QLatin1String(f); });
}

bool writable(const QString& folder) {
  return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

}  // namespace

QString userDataFolder() {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  // A relative value is invalid by the base-directory rules and is ignored.
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.local/share";
  return withSlash(QDir::cleanPath(base + QStringLiteral("/kolvane")));
}

ProgramFolder resolveProgramFolder(const StartupOptions& options) {
  ProgramFolder f;
  f.programFileFolder = withSlash(QFileInfo(options.programFile).absolutePath());
  if (!options.programDir.isEmpty()) {
    f.path = withSlash(QFileInfo(options.programDir).absoluteFilePath());
  } else if (options.userFolderFallback &&
             (!writable(f.programFileFolder) || systemProgramFolder(f.programFileFolder))) {
    f.path = userDataFolder();
    f.userFolder = true;
  } else {
    f.path = f.programFileFolder;
  }
  return f;
}

int prepareProgramFolder(const QString& path) {
  // Without its trailing slash: "file/" does not exist, so a plain file would read as missing.
  const QFileInfo info(QDir::cleanPath(path));
  if (info.exists() && !info.isDir()) return 417;
  if (!info.exists()) {
    // Only the folder itself is private; parents made on the way are ordinary folders.
    if (!QDir().mkpath(path) || !QFile::setPermissions(path, kPrivateFolder)) return 415;
  }
  return writable(path) ? 0 : 416;
}

}  // namespace kolvane
