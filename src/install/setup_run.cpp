#include "install/setup_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSaveFile>

#include "core/start_mode.h"
#include "install/desktop_entries.h"
#include "install/destination_check.h"
#include "platform/ini_file.h"

namespace kolvane::install {

namespace {

constexpr int kTries = 21;
const QString kCfg = QStringLiteral("CFG");
const QString kLnkDir = QStringLiteral("LnkDir");
// "Saving to %s failed".
constexpr int kSavingFailed = 121;

// Deletes a file whose attributes may forbid it; true when it is gone.
bool forceRemove(const QString& path) {
  QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
  return QFile::remove(path) || !QFileInfo::exists(path);
}

std::optional<SetupFailure> erase(const QString& dir, const char* name) {
  const QString path = dir + QLatin1String(name);
  if (QFileInfo::exists(path) && !forceRemove(path)) {
    return SetupFailure{66, QLatin1String(name)};
  }
  return std::nullopt;
}

// Copies a file that is about to be replaced; the original stays when the copy fails.
std::optional<SetupFailure> keepCopy(const QString& dir, const char* from, const char* to) {
  if (auto f = erase(dir, to)) return f;
  if (!QFile::copy(dir + QLatin1String(from), dir + QLatin1String(to))) {
    return SetupFailure{kSavingFailed, dir + QLatin1String(to)};
  }
  return std::nullopt;
}

std::optional<SetupFailure> replaceProgram(const SetupChoice& c, const QString& programFile,
                                           QStringList& written) {
  const QString program = c.destination + kProgramName;
  if (c.renameOld && QFileInfo::exists(program)) {
    if (auto f = keepCopy(c.destination, kProgramName, kOldProgramName)) return f;
    written << QLatin1String(kOldProgramName);
  }
  if (auto f = erase(c.destination, kProgramName)) return f;
  if (!QDir().mkpath(c.destination)) return SetupFailure{67, c.destination};
  if (!QFile::copy(programFile, program)) return SetupFailure{kSavingFailed, program};
  written << QLatin1String(kProgramName);
  return std::nullopt;
}

std::optional<SetupFailure> retireSettings(const QString& destination, QStringList& written) {
  if (!QFileInfo::exists(destination + kSettingsName)) return std::nullopt;
  if (auto f = keepCopy(destination, kSettingsName, kOldSettingsName)) return f;
  written << QLatin1String(kOldSettingsName);
  return erase(destination, kSettingsName);
}

// The names an installation's files have in its folder: those the installer listed, or for an
// installation without a list the names it can have written. The program's lock goes too.
QStringList installedNames(const QString& dir) {
  QStringList names{QLatin1String(kProgramName), QLatin1String(kOldProgramName),
                    QLatin1String(kSettingsName), QLatin1String(kOldSettingsName)};
  QFile list(dir + kWrittenListName);
  if (list.open(QIODevice::ReadOnly)) {
    names = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  names << QStringLiteral("Kolvane.lock") << QLatin1String(kWrittenListName);
  // Names only: nothing outside the folder.
  names.removeIf([](const QString& n) { return n.contains(QLatin1Char('/')) || n == ".."; });
  names.removeDuplicates();
  return names;
}

// Adds names to the installation's list of written files.
bool recordWritten(const QString& dir, const QStringList& written) {
  QStringList names;
  QFile list(dir + kWrittenListName);
  if (list.open(QIODevice::ReadOnly)) {
    names = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    list.close();
  }
  names << written;
  names.removeDuplicates();
  QSaveFile out(dir + kWrittenListName);
  if (!out.open(QIODevice::WriteOnly)) return false;
  out.write(names.join(QLatin1Char('\n')).toUtf8() + '\n');
  return out.commit();
}

}  // namespace

std::optional<SetupFailure> performSetup(const SetupChoice& c, const SetupFolders& folders) {
  QStringList written;
  if (c.mode == SetupMode::InstallNew || c.mode == SetupMode::Upgrade) {
    if (auto f = replaceProgram(c, folders.programFile, written)) return f;
  }
  if (c.mode != SetupMode::Change && !c.keepSettings) {
    if (auto f = retireSettings(c.destination, written)) return f;
  }
  const QString oldGroup = IniFile(c.destination + kSettingsName).value(kCfg, kLnkDir);
  bool numeric = false;
  const int comNo = c.comNoText.toInt(&numeric);
  const bool settingsWritten = IniFile(c.destination + kSettingsName).update([&](IniText& ini) {
    ini.setValue(kCfg, QStringLiteral("ComTcp"), QString::number(c.comTcp));
    ini.setValue(kCfg, QStringLiteral("ComNo"), QString::number(numeric ? comNo : 1));
    ini.setValue(kCfg, kLnkDir, c.group);
  });
  if (!settingsWritten) return SetupFailure{66, QLatin1String(kSettingsName)};
  written << QLatin1String(kSettingsName);
  if (!recordWritten(c.destination, written)) {
    return SetupFailure{kSavingFailed, c.destination + kWrittenListName};
  }
  // A group an earlier version kept in a folder of its own leaves that folder.
  if (groupNameValid(oldGroup)) removeFolderStyleGroup(folders, withSlash(oldGroup));
  if (!writeMenuGroup(folders, c.group, c.destination) ||
      !writeUninstallRecord(folders, c.destination) ||
      (c.desktopIcon && !copyGroupEntry(folders, folders.desktop)) ||
      (c.startupIcon && !copyGroupEntry(folders, folders.startup))) {
    return SetupFailure{67, folders.programsMenu + c.group};
  }
  return std::nullopt;
}

bool startDetachedCopy(const QString& copy, const QString& folder) {
  return QProcess::startDetached(copy, {folder}, QFileInfo(copy).absolutePath());
}

UninstallStart performUninstall(const SetupFolders& folders, const CopyStarter& start) {
  const QString group = IniFile(folders.programDir + kSettingsName).value(kCfg, kLnkDir);
  // Without a group of its own (or with one reaching outside) the menu folder would be emptied.
  if (!groupNameValid(group)) {
    return UninstallStart::NothingToRemove;
  }
  removeMenuGroup(folders, withSlash(group));
  QString copy;
  do {
    copy = folders.temp + QStringLiteral("U_%1").arg(QRandomGenerator::global()->bounded(999999));
  } while (QFileInfo::exists(copy));
  if (!QFile::copy(folders.programFile, copy) ||
      !QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner) ||
      !start(copy, folders.programDir)) {
    return UninstallStart::StartFailed;
  }
  return UninstallStart::Started;
}

bool removeInstallation(const QString& folder, const SetupFolders& folders,
                        const std::function<void()>& pause,
                        const std::function<void(const QString&)>& report) {
  const QString dir = withSlash(folder);
  const QStringList present =
      QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  // A copy started by hand with any folder must not empty it.
  if (!present.contains(QLatin1String(kProgramName)) ||
      !present.contains(QLatin1String(kSettingsName))) {
    return false;
  }
  const QString program = dir + kProgramName;
  for (int tries = 1; !forceRemove(program); ++tries) {
    if (tries == kTries) {
      report(QStringLiteral("DeleteFile ") + program + QStringLiteral(" failed"));
      break;
    }
    pause();
  }
  // Only what the installation wrote: files the user keeps in the folder stay, and so does
  // the folder then.
  bool removed = !QFileInfo::exists(program);
  for (const QString& name : installedNames(dir)) {
    const QFileInfo file(dir + name);
    if (file.isDir() && !file.isSymLink()) continue;
    removed = forceRemove(file.filePath()) && removed;
  }
  if (QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
    for (int tries = 1; QFileInfo::exists(dir); ++tries) {
      QDir().rmdir(dir);
      if (!QFileInfo::exists(dir)) break;
      if (tries == kTries) return false;
      pause();
    }
  }
  if (!removed) return false;
  removeUninstallRecord(folders, dir);
  return true;
}

}  // namespace kolvane::install
