#include "install/setup_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include "core/start_mode.h"
#include "install/desktop_entries.h"
#include "install/destination_check.h"
#include "platform/ini_file.h"

namespace kolvane::install {

namespace {

constexpr int kTries = 21;
const QString kCfg = QStringLiteral("CFG");
const QString kLnkDir = QStringLiteral("LnkDir");

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

std::optional<SetupFailure> replaceProgram(const SetupChoice& c, const QString& programFile) {
  const QString program = c.destination + kProgramName;
  if (c.renameOld && QFileInfo::exists(program)) {
    if (auto f = erase(c.destination, kOldProgramName)) return f;
    QFile::copy(program, c.destination + kOldProgramName);
  }
  if (auto f = erase(c.destination, kProgramName)) return f;
  if (!QDir().mkpath(c.destination)) return SetupFailure{67, c.destination};
  if (!QFile::copy(programFile, program)) return SetupFailure{67, c.destination};
  return std::nullopt;
}

std::optional<SetupFailure> retireSettings(const QString& destination) {
  const QString settings = destination + kSettingsName;
  if (!QFileInfo::exists(settings)) return std::nullopt;
  if (auto f = erase(destination, kOldSettingsName)) return f;
  QFile::copy(settings, destination + kOldSettingsName);
  return erase(destination, kSettingsName);
}

}  // namespace

std::optional<SetupFailure> performSetup(const SetupChoice& c, const SetupFolders& folders) {
  if (c.mode == SetupMode::InstallNew || c.mode == SetupMode::Upgrade) {
    if (auto f = replaceProgram(c, folders.programFile)) return f;
  }
  if (c.mode != SetupMode::Change && !c.keepSettings) {
    if (auto f = retireSettings(c.destination)) return f;
  }
  bool numeric = false;
  const int comNo = c.comNoText.toInt(&numeric);
  const bool written = IniFile(c.destination + kSettingsName).update([&](IniText& ini) {
    ini.setValue(kCfg, QStringLiteral("ComTcp"), QString::number(c.comTcp));
    ini.setValue(kCfg, QStringLiteral("ComNo"), QString::number(numeric ? comNo : 1));
    ini.setValue(kCfg, kLnkDir, c.group);
  });
  if (!written) return SetupFailure{66, QLatin1String(kSettingsName)};
  // The group is written afresh; a file that cannot be written is reported like the others.
  QFile::remove(folders.programsMenu + c.group + kEntryName);
  if (!writeMenuGroup(folders, c.group, c.destination) ||
      !writeUninstallRecord(folders, c.destination) ||
      (c.desktopIcon && !copyGroupEntry(folders, c.group, folders.desktop)) ||
      (c.startupIcon && !copyGroupEntry(folders, c.group, folders.startup))) {
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
  const QStringList names =
      QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  // A copy started by hand with any folder must not empty it.
  if (!names.contains(QLatin1String(kProgramName)) ||
      !names.contains(QLatin1String(kSettingsName))) {
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
  for (const QString& name : names) forceRemove(dir + name);
  for (int tries = 1; QFileInfo::exists(dir); ++tries) {
    QDir().rmdir(dir);
    if (!QFileInfo::exists(dir)) break;
    if (tries == kTries) return false;
    pause();
  }
  removeUninstallRecord(folders, dir);
  return true;
}

}  // namespace kolvane::install
