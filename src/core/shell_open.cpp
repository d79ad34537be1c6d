#include "core/shell_open.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "core/ext_app_run.h"

namespace kolvane {

namespace {

// A started program's output is of no use to the gateway and must not mix with its own.
bool startDetached(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  return process.startDetached();
}

std::int32_t openDocument(const QFileInfo& document) {
  if (!document.isReadable()) return kRunAccessDenied;
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) return kRunNoAssociation;
  return startDetached(opener, {document.absoluteFilePath()}) ? kRunStarted : kRunNoAssociation;
}

}  // namespace

OpenTarget SplitCommandLine(const QString& commandLine, const QString& params) {
  OpenTarget target;
  if (!commandLine.isEmpty() && QFileInfo::exists(commandLine)) {
    target.program = commandLine;
  } else {
    QStringList words = QProcess::splitCommand(commandLine);
    if (!words.isEmpty()) target.program = words.takeFirst();
    target.arguments = words;
  }
  target.arguments += QProcess::splitCommand(params);
  return target;
}

std::int32_t ShellOpen(const QString& commandLine, const QString& params) {
  const OpenTarget target = SplitCommandLine(commandLine, params);
  if (target.program.isEmpty()) return kRunFileNotFound;

  QFileInfo file(target.program);
  if (!target.program.contains(QLatin1Char('/')) && !file.exists()) {
    const QString found = QStandardPaths::findExecutable(target.program);
    if (found.isEmpty()) return kRunFileNotFound;
    file = QFileInfo(found);
  }
  if (!file.exists()) {
    return QFileInfo(file.absolutePath()).isDir() ? kRunFileNotFound : kRunPathNotFound;
  }
  if (file.isDir() || !file.isExecutable()) return openDocument(file);
  if (startDetached(file.absoluteFilePath(), target.arguments)) return kRunStarted;
  return file.isReadable() ? kRunBadFormat : kRunAccessDenied;
}

}  // namespace kolvane
