#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace kolvane {

// What a command line starts: the program (or document) and its arguments.
struct OpenTarget {
  QString program;
  QStringList arguments;
};

// Splits a command line and its parameters the way a command line is read (double quotes group
// words). A command line naming an existing file as a whole is that file, spaces and all.
OpenTarget SplitCommandLine(const QString& commandLine, const QString& params);

// The program a command line starts, found on the search path: a document is opened by the
// desktop's opener. code is a result code of ext_app_run.h, above 32 when there is a program.
struct ResolvedCommand {
  std::int32_t code;
  QString program;
  QStringList arguments;
  bool document = false;
};
ResolvedCommand ResolveCommand(const QString& commandLine, const QString& params);

// Starts a program, or opens a document with its desktop application, directly and never
// through a shell, so no text can add commands of its own. Returns a result code of
// ext_app_run.h: above 32 started, 2 file not found, 3 path not found, 5 access denied, 11 not
// startable, 31 no application. Blocks until the program has been started.
std::int32_t ShellOpen(const QString& commandLine, const QString& params);

}  // namespace kolvane
