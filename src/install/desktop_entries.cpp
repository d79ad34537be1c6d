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
// The menu's own files carry the program's name first, as the desktop's menu tools name them.
constexpr char kMenuEntry[] = "kolvane-kolvane.desktop";
constexpr char kMenuSetupEntry[] = "kolvane-setup-uninstall.desktop";
constexpr char kMenuFile[] = "kolvane-group.menu";

QString directoryEntryName(qsizetype level) {
  return QStringLiteral("kolvane-group-%1.directory").arg(level + 1);
}

QStringList ownDirectoryEntries(const SetupFolders& folders) {
  QStringList out;
  const QDir dir(folders.menuDirectories);
  for (const QString& name :
       dir.entryList({QStringLiteral("kolvane-group-*.directory")}, QDir::Files)) {
    out << dir.filePath(name);
  }
  return out;
}

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
  const QStringList names = group.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (const QString& dir : {folders.programsMenu, folders.menuDirectories, folders.mergedMenus}) {
    if (!QDir().mkpath(dir)) return false;
  }
  // A group of another depth leaves no directory entries behind.
  for (const QString& old : ownDirectoryEntries(folders)) QFile::remove(old);
  const QString program = desktopExecArgument(programPath(destination));
  if (!writeText(
          folders.programsMenu + kMenuEntry,
          applicationEntry(QStringLiteral("Kolvane"), program, QStringLiteral("mail-send-receive"),
                           QStringLiteral("Network"), destination)) ||
      !writeText(folders.programsMenu + kMenuSetupEntry,
                 applicationEntry(QStringLiteral("Setup-Uninstall"),
                                  program + QLatin1Char(' ') + desktopExecArgument("*I"),
                                  QStringLiteral("system-software-install"),
                                  QStringLiteral("Settings"), destination))) {
    return false;
  }
  // One submenu per level of the group, each with its own directory entry; menus of the same
  // name elsewhere merge with them, and nothing of theirs is written over.
  QString menus;
  for (qsizetype level = 0; level < names.size(); ++level) {
    const QString entry = directoryEntryName(level);
    if (!writeText(folders.menuDirectories + entry,
                   QStringLiteral("[Desktop Entry]\nType=Directory\nName=%1\nIcon=folder\n")
                       .arg(entryValue(names[level])))) {
      return false;
    }
    menus += QStringLiteral("<Menu>\n<Name>%1</Name>\n<Directory>%2</Directory>\n")
                 .arg(names[level].toHtmlEscaped(), entry);
  }
  menus +=
      QStringLiteral("<Include>\n<Filename>%1</Filename>\n<Filename>%2</Filename>\n</Include>\n")
          .arg(QLatin1String(kMenuEntry), QLatin1String(kMenuSetupEntry));
  menus += QStringLiteral("</Menu>\n").repeated(names.size());
  return writeText(
      folders.mergedMenus + kMenuFile,
      QStringLiteral("<Menu>\n<Name>Applications</Name>\n") + menus + QStringLiteral("</Menu>\n"));
}

bool copyGroupEntry(const SetupFolders& folders, const QString& folder) {
  const QString target = folder + kEntryName;
  if (!QDir().mkpath(folder)) return false;
  QFile::remove(target);
  if (!QFile::copy(folders.programsMenu + kMenuEntry, target)) return false;
  // Desktops launch only entries marked executable.
  return QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner);
}

void removeFolderStyleGroup(const SetupFolders& folders, const QString& group) {
  const QString dir = folders.programsMenu + group;
  for (const char* name : {kEntryName, kSetupEntry}) QFile::remove(dir + QLatin1String(name));
  // Its directory entry goes only when nothing else is left beside it.
  if (QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
      QStringList{QLatin1String(kDirectoryEntry)}) {
    QFile::remove(dir + kDirectoryEntry);
  }
  QDir().rmdir(dir);
}

void removeMenuGroup(const SetupFolders& folders, const QString& group) {
  const QFileInfo entry(folders.programsMenu + kMenuEntry);
  // Invalid when the program's entry is not there.
  const QDate stamp = entry.exists() ? entry.lastModified().date() : QDate();
  QStringList own = ownDirectoryEntries(folders);
  own << entry.filePath() << folders.programsMenu + kMenuSetupEntry
      << folders.mergedMenus + kMenuFile;
  for (const QString& file : own) QFile::remove(file);
  removeFolderStyleGroup(folders, group);
  if (!stamp.isValid()) return;
  for (const QString& folder : {folders.desktop, folders.startup}) {
    const QFileInfo copy(folder + kEntryName);
    if (copy.exists() && copy.lastModified().date() == stamp) QFile::remove(copy.filePath());
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
