#pragma once

#include <QString>

class QObject;

namespace kolvane {

class Gateway;

// The application-wide handler of an error that escaped an event or timer handler: logs it
// with its sender, appends the report to "ExceptReport.txt" when ExceptReport is on, runs
// CmdOnException. The program goes on; the handler itself never throws.
void OnUnhandledError(Gateway& g, const QObject* sender, const QString& message);

}  // namespace kolvane
