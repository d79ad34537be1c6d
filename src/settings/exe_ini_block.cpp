#include "settings/exe_ini_block.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

#include "platform/exclusive_file.h"

namespace kolvane {

namespace {
constexpr qint64 kWindow = 65535;
}

ExeIniBlock readExeIniBlock(const QString& programFile) {
  QFile file(programFile);
  if (!file.open(QIODevice::ReadOnly)) return {-1, {}};
  return readExeIniBlock(file);
}

ExeIniBlock readExeIniBlock(QIODevice& file) {
  ExeIniBlock out;
  const qint64 window = std::min(kWindow, file.size());
  if (!file.seek(file.size() - window)) {
    out.result = -2;
    return out;
  }
  const QByteArray tail = file.read(window);
  if (tail.size() < window) {
    out.result = -2;
    return out;
  }
  qsizetype i = tail.size() - 1;
  for (; i >= 0; --i) {
    const auto b = static_cast<unsigned char>(tail[i]);
    if (b < 32 && b != 10 && b != 13) break;
  }
  if (i < 0) {
    out.result = -3;
    return out;
  }
  const QByteArray block = tail.mid(i + 1);
  out.result = static_cast<int>(block.size());
  static const QRegularExpression breaks(QStringLiteral("[\r\n]+"));
  const QStringList pieces = QString::fromUtf8(block).split(breaks, Qt::SkipEmptyParts);
  out.ini = IniText::parse(pieces.join(QLatin1Char('\n')));
  return out;
}

QString exeIniErrorText(int result) {
  switch (result) {
    case -1:
      return QStringLiteral("Error Exe-Ini open");
    case -2:
      return QStringLiteral("Error Exe-Ini read");
    case -3:
      return QStringLiteral("Error Exe-Ini over");
    default:
      return result < 0 ? QStringLiteral("Error Exe-Ini unknown") : QString();
  }
}

bool isDefCopyRequest(const QString& commandLineText) {
  const QString upper = commandLineText.trimmed().toUpper();
  return upper.contains(QLatin1String(".DEF")) && upper.endsWith(QLatin1String(".DEF"));
}

DefCopyResult buildDefCopy(const QString& programFile, const QString& programDir,
                           const QString& commandLineText, const QString& settingsFile) {
  const QString param = commandLineText.trimmed();
  const QString defPath = QFileInfo(param).isAbsolute() ? param : programDir + param;
  if (!QFileInfo::exists(defPath)) return {false, param + QStringLiteral(" neexistuje")};

  const QString baseName = param.left(param.size() - 4);
  const QString target = programDir + QFileInfo(baseName).fileName();
  const QString programName = QFileInfo(programFile).fileName();
  const QString message = programName + QStringLiteral(" + ") + param + QStringLiteral(" = ") +
                          QFileInfo(target).fileName();

  // Names are compared without regard to case, as the file system of the target may.
  const auto sameFile = [&target](const QString& other) {
    const QFileInfo a(target);
    const QFileInfo b(other);
    if (a.exists() && b.exists() && a.canonicalFilePath() == b.canonicalFilePath()) return true;
    return a.absoluteFilePath().compare(b.absoluteFilePath(), Qt::CaseInsensitive) == 0;
  };
  if (sameFile(programFile)) {
    return {false, message + QStringLiteral(" refused: ") + QFileInfo(target).fileName() +
                       QStringLiteral(" is the running program")};
  }
  if (sameFile(settingsFile)) {
    return {false, message + QStringLiteral(" refused: ") + QFileInfo(target).fileName() +
                       QStringLiteral(" is the settings file")};
  }

  QFile def(defPath);
  if (!def.open(QIODevice::ReadOnly)) return {false, param + QStringLiteral(" neexistuje")};
  const QByteArray defBytes = def.read(kWindow);
  const QString part = target + QStringLiteral(".part");
  QFile::remove(part);
  bool written = QFile::copy(programFile, part);
  if (written) {
    QFile copy(part);
    written = copy.open(QIODevice::WriteOnly | QIODevice::Append) &&
              copy.write(defBytes) == defBytes.size() && SyncToDisk(copy);
  }
  // Only a complete copy takes the target's name; until then the target stays as it was.
  if (!written || std::rename(QFile::encodeName(part).constData(),
                              QFile::encodeName(target).constData()) != 0) {
    QFile::remove(part);
    return {false, message + QStringLiteral(" failed")};
  }
  return {true, message};
}

}  // namespace kolvane
