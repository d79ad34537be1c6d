#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <cstdio>

// Small pieces the device simulators share: their output lines, traffic shown as text, the
// record files they append to, and their command-line options.
namespace kolvane::modemsim {

void printLine(std::FILE* stream, const QString& line);
// Bytes as text, control and 8-bit bytes as "<n>".
QString shownBytes(const QByteArray& bytes);
// Appends lines to a record file; an empty path appends nothing. Reports a failure on stderr
// under the simulator's name.
void appendRecordLines(const QString& path, const QByteArray& lines, const char* simulator);

QCommandLineOption valueOption(const char* name, const char* help, const char* valueName);
QCommandLineOption flagOption(const char* name, const char* help);
// --help and the link options: --tcp PORT, --port PORT, --pty LINK.
QList<QCommandLineOption> linkOptions();

// Blocks SIGINT and SIGTERM and returns a descriptor that becomes readable when one arrives,
// so that the event loop ends in order and a pseudo-terminal link is removed.
int quitSignalFd();

}  // namespace kolvane::modemsim
