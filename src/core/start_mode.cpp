#include "core/start_mode.h"

#include <QFileInfo>

namespace kolvane {

QString withSlash(QString dir) {
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir;
}

StartMode startModeOf(const QString& programFile, const QString& commandLineText,
                      const QString& tempPath) {
  StartMode mode;
  const QString fileName = QFileInfo(programFile).fileName();
  // Only the switch itself: an SMS text such as "see *important* note" is no switch.
  if (commandLineText.trimmed().compare(QLatin1String("*I"), Qt::CaseInsensitive) == 0 ||
      fileName.toUpper().contains(QLatin1String("_SETUP"))) {
    mode.kind = StartMode::Installer;
    return mode;
  }
  const QString programFolder = withSlash(QFileInfo(programFile).absolutePath()).toUpper();
  const qsizetype at = programFolder.indexOf(withSlash(tempPath).toUpper());
  if (at < 0 || at > 2) return mode;
  // Only the installer's own copies act from there; a plain program file built or unpacked
  // under the temporary folder runs as usual instead of ending silently.
  const bool uninstallerCopy = fileName.startsWith(QLatin1String("U_"), Qt::CaseInsensitive);
  const bool installerCopy = fileName.startsWith(QLatin1String("I_"), Qt::CaseInsensitive);
  if (!uninstallerCopy && !installerCopy) return mode;

  mode.tempCopy = true;
  const QString folder = commandLineText.trimmed();
  if (uninstallerCopy && !folder.isEmpty() && QFileInfo(folder).isDir()) {
    mode.kind = StartMode::Uninstaller;
    mode.folder = folder;
  } else {
    mode.kind = installerCopy ? StartMode::Installer : StartMode::EndAtOnce;
  }
  return mode;
}

}  // namespace kolvane
