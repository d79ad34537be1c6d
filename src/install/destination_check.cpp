#include "install/destination_check.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>

namespace kolvane::install {

namespace {

bool hasForbiddenCharacter(const QString& text, QStringView forbidden) {
  return std::any_of(text.cbegin(), text.cend(),
                     [&](QChar c) { return c.unicode() < 0x20 || forbidden.contains(c); });
}

bool samePlace(const QString& a, const QString& b) {
  return QDir::cleanPath(a).compare(QDir::cleanPath(b), Qt::CaseInsensitive) == 0;
}

// Folders that belong to the system as a whole; removing an installation empties its folder.
constexpr std::array kSystemFolders = {"/",    "/bin",   "/boot",  "/dev",    "/etc",   "/home",
                                       "/lib", "/lib32", "/lib64", "/libx32", "/media", "/mnt",
                                       "/opt", "/proc",  "/root",  "/run",    "/sbin",  "/srv",
                                       "/sys", "/tmp",   "/usr",   "/var"};
// Trees whose every folder is the system's: the package manager and the system keep files
// there, and a program folder there could take their place.
constexpr std::array kSystemTrees = {"/bin",   "/boot",  "/dev",    "/etc",  "/lib",
                                     "/lib32", "/lib64", "/libx32", "/proc", "/run",
                                     "/sbin",  "/sys",   "/usr",    "/var"};

}  // namespace

bool destinationNameValid(const QString& path) {
  return path.startsWith(QLatin1Char('/')) && !path.contains(QLatin1String("//")) &&
         !hasForbiddenCharacter(path, u"\"*<>?|");
}

bool destinationPlaceAllowed(const QString& path, SetupMode mode, const SetupFolders& folders) {
  const QString clean = QDir::cleanPath(path);
  const bool system = std::any_of(kSystemFolders.begin(), kSystemFolders.end(),
                                  [&](const char* f) { return clean == QLatin1String(f); }) ||
                      std::any_of(kSystemTrees.begin(), kSystemTrees.end(), [&](const char* t) {
                        return clean.startsWith(QLatin1String(t) + QLatin1Char('/'));
                      });
  if (system || samePlace(path, QDir::homePath()) || samePlace(path, folders.programFiles)) {
    return false;
  }
  const bool replacesProgram = mode == SetupMode::InstallNew || mode == SetupMode::Upgrade;
  return !(replacesProgram && samePlace(path, folders.programDir));
}

DestinationCheck checkDestination(const QString& path, SetupMode mode,
                                  const SetupFolders& folders) {
  DestinationCheck c;
  c.nameOk = destinationNameValid(path);
  c.placeOk = c.nameOk && destinationPlaceAllowed(path, mode, folders);
  if (!c.placeOk) return c;
  const QDir dir(path);
  c.exists = dir.exists();
  c.entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDir::Name);
  const auto has = [&](const char* name) {
    return c.entries.contains(QLatin1String(name), Qt::CaseInsensitive);
  };
  c.hasSettings = has(kSettingsName);
  c.hasProgram = has(kProgramName);
  return c;
}

PathPageView pathPageView(const DestinationCheck& check, SetupMode mode) {
  using Status = PathPageView::Status;
  using Note = PathPageView::Note;
  PathPageView v;
  if (!check.nameOk || !check.placeOk) {
    v.status = check.nameOk ? Status::Unauthorized : Status::WrongName;
    return v;
  }
  const bool installNew = mode == SetupMode::InstallNew;
  const bool bothFiles = check.hasSettings && check.hasProgram;
  v.nextEnabled = installNew || bothFiles;
  if (check.entries.isEmpty()) {
    v.status = check.exists ? Status::Empty : Status::New;
    v.modeHint = !installNew;
    return v;
  }
  v.status = Status::Contains;
  if (installNew) {
    v.keepShown = v.keepChecked = check.hasSettings;
    v.renameShown = check.hasProgram;
    v.renameChecked = v.keepShown;
    return v;
  }
  if (!bothFiles) {
    v.note = Note::Missing;
    if (!check.hasSettings) v.missing += QLatin1String(kSettingsName) + QLatin1String("  ");
    if (!check.hasSettings && !check.hasProgram) v.missing += QLatin1String("and  ");
    if (!check.hasProgram) v.missing += QLatin1String(kProgramName) + QLatin1String("  ");
    v.missing += QLatin1String("missing");
    return v;
  }
  switch (mode) {
    case SetupMode::Upgrade:
      v.keepShown = v.keepChecked = true;
      v.renameShown = v.renameChecked = true;
      v.renameEnabled = false;
      break;
    case SetupMode::Change:
      v.note = Note::SettingsChanged;
      break;
    case SetupMode::Uninstall:
      v.note = Note::FolderRemoved;
      break;
    case SetupMode::InstallNew:
      break;
  }
  return v;
}

bool groupNameValid(const QString& group) {
  if (group.isEmpty() || group.startsWith(QLatin1Char('/')) ||
      group.contains(QLatin1String("//")) || hasForbiddenCharacter(group, u"\"*:<>?|\\")) {
    return false;
  }
  const QStringList names = group.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  return std::none_of(names.cbegin(), names.cend(), [](const QString& n) {
    return n == QLatin1String(".") || n == QLatin1String("..");
  });
}

}  // namespace kolvane::install
