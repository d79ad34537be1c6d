#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>

#include "core/ext_app_run.h"

namespace kolvane {

// What a command whose end was waited for gave.
struct WaitedRun {
  std::int32_t code = kRunNotRun;  // the start: above 32 started, else the classic codes
  bool ended = false;              // it ended within the wait
  int exitStatus = -1;             // its exit status; 128 + n when signal n ended it
  QByteArray firstLine;            // the first line of its standard output, as written
};

// Starts a command line as ShellOpen does, never through a shell, and waits up to waitMs for
// the program to end, or until stop is set. Its standard output is read to the end, also after
// the wait, so that it never blocks on a full pipe; a program still running is left to finish
// and is reaped when it does.
WaitedRun RunAndWait(const QString& commandLine, const QString& params, int waitMs,
                     const std::atomic<bool>& stop);

}  // namespace kolvane
