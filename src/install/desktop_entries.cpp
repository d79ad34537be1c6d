#include "install/desktop_entries.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "core/start_mode.h"
#include "platform/ini_file.h"

namespace kolvane::install {

namespace {

constexpr char kRecordSection[] = "Kolvane";
constexpr char kDirectoryEntry[] = ".directory";
constexpr char kSetupEntry[] = "Setup-Uninstall.desktop";

// Backslashes of a string value are escaped once more by the file format.
QString entryValue(QString text) {
  return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
      .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

bool writeText(const QString& path, const QString& text) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  f.write(text.toUtf8());
  return f.commit();
}

QString applicationEntry(const QString& name, const QString& exec, const QString& icon,
                         const QString& category, const QString& workDir) {
  return QStringLiteral(
             "[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nPath=%3\nIcon=%4\n"
             "Terminal=false\nCategories=%5;\n")
      .arg(entryValue(name), entryValue(exec), entryValue(workDir), icon, category);
}

QString programPath(const QString& destination) {
  return withSlash(destination) + QLatin1String(kProgramName);
}

}  // namespace

QString desktopExecArgument(const QString& argument) {
  QString quoted;
  for (const QChar c : argument) {
    if (QStringView(u"\"`$\\").contains(c)) quoted += QLatin1Char('\\');
    quoted += c;
  }
  return QLatin1Char('"') + quoted.replace(QLatin1Char('%'), QLatin1String("%%")) +
         QLatin1Char('"');
}

bool writeMenuGroup(const SetupFolders& folders, const QString& group, const QString& destination) {
  const QString dir = folders.programsMenu + group;
  if (!QDir().mkpath(dir)) return false;
  const QString program = desktopExecArgument(programPath(destination));
  const QString directory =
      QStringLiteral("[Desktop Entry]\nType=Directory\nName=%1\nIcon=folder\n")
          .arg(entryValue(group.split(QLatin1Char('/'), Qt::SkipEmptyParts).constLast()));
  return writeText(dir + kDirectoryEntry, directory) &&
         writeText(dir + kEntryName, applicationEntry(QStringLiteral("Kolvane"), program,
                                                      QStringLiteral("mail-send-receive"),
                                                      QStringLiteral("Network"), destination)) &&
         writeText(dir + kSetupEntry,
                   applicationEntry(QStringLiteral("Setup-Uninstall"),
                                    program + QLatin1Char(' ') + desktopExecArgument("*I"),
                                    QStringLiteral("system-software-install"),
                                    QStringLiteral("Settings"), destination));
}

bool copyGroupEntry(const SetupFolders& folders, const QString& group, const QString& folder) {
  const QString target = folder + kEntryName;
  if (!QDir().mkpath(folder)) return false;
  QFile::remove(target);
  if (!QFile::copy(folders.programsMenu + group + kEntryName, target)) return false;
  // Desktops launch only entries marked executable.
  return QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner);
}

void removeMenuGroup(const SetupFolders& folders, const QString& group) {
  const QDir dir(folders.programsMenu + group);
  std::optional<QDate> stamp;
  const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
  for (const QFileInfo& file : files) {
    if (file.fileName().compare(QLatin1String(kEntryName), Qt::CaseInsensitive) == 0) {
      stamp = file.lastModified().date();
    }
    QFile::remove(file.absoluteFilePath());
  }
  if (!stamp) return;
  QDir().rmdir(dir.absolutePath());
  for (const QString& folder : {folders.desktop, folders.startup}) {
    const QFileInfo copy(folder + kEntryName);
    if (copy.exists() && copy.lastModified().date() == *stamp) QFile::remove(copy.filePath());
  }
}

bool writeUninstallRecord(const SetupFolders& folders, const QString& destination) {
  if (!QDir().mkpath(QFileInfo(folders.uninstallRecord).absolutePath())) return false;
  const QString program = programPath(destination);
  return IniFile(folders.uninstallRecord).update([&](IniText& ini) {
    ini.setValue(kRecordSection, QStringLiteral("DisplayName"), QStringLiteral("Kolvane"));
    ini.setValue(kRecordSection, QStringLiteral("UninstallString"), program + " *I");
    ini.setValue(kRecordSection, QStringLiteral("DisplayIcon"), program);
  });
}

void removeUninstallRecord(const SetupFolders& folders, const QString& destination) {
  IniFile record(folders.uninstallRecord);
  if (record.value(kRecordSection, QStringLiteral("DisplayIcon")) != programPath(destination)) {
    return;
  }
  record.eraseSection(kRecordSection);
  if (record.read().sections().isEmpty()) QFile::remove(record.path());
  QDir().rmdir(QFileInfo(record.path()).absolutePath());
}

}  // namespace kolvane::install
