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

ResolvedCommand failed(std::int32_t code) {
  return {code, {}, {}, false};
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

ResolvedCommand ResolveCommand(const QString& commandLine, const QString& params) {
  const OpenTarget target = SplitCommandLine(commandLine, params);
  if (target.program.isEmpty()) return failed(kRunFileNotFound);

  QFileInfo file(target.program);
  if (!target.program.contains(QLatin1Char('/')) && !file.exists()) {
    const QString found = QStandardPaths::findExecutable(target.program);
    if (found.isEmpty()) return failed(kRunFileNotFound);
    file = QFileInfo(found);
  }
  if (!file.exists()) {
    return failed(QFileInfo(file.absolutePath()).isDir() ? kRunFileNotFound : kRunPathNotFound);
  }
  if (file.isDir() || !file.isExecutable()) {
    // A document opens in its desktop application.
    if (!file.isReadable()) return failed(kRunAccessDenied);
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return failed(kRunNoAssociation);
    return {kRunStarted, opener, {file.absoluteFilePath()}, true};
  }
  return {kRunStarted, file.absoluteFilePath(), target.arguments, false};
}

std::int32_t ShellOpen(const QString& commandLine, const QString& params) {
  const ResolvedCommand command = ResolveCommand(commandLine, params);
  if (command.code <= 32) return command.code;
  if (startDetached(command.program, command.arguments)) return kRunStarted;
  if (command.document) return kRunNoAssociation;
  return QFileInfo(command.program).isReadable() ? kRunBadFormat : kRunAccessDenied;
}

}  // namespace kolvane
