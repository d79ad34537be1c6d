#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kolvane {

// What --status and --queue print: the lines for standard output, a line for standard error,
// and the exit code (0, 3 not running, 4 not to be reached by this user, 1 no answer).
struct StatusAnswer {
  int exitCode = 0;
  QStringList lines;
  QString error;
};

// Asks the program running on the folder over its status socket.
StatusAnswer askRunningProgram(const QString& folder, const QByteArray& request,
                               int timeoutMs = 5000);

// --status and --queue on a folder. Without a running program, --queue lists the jobs the
// folder's stores hold.
StatusAnswer statusCommand(const QString& folder, bool queue);

}  // namespace kolvane
