#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/clock.h"

namespace kolvane {

// One report of "ExceptReport.txt": date, the history oldest first, the stack trace (kept as
// it is, without a line break added), the closing marker and an empty line; CR LF line ends.
QByteArray exceptionReportText(DateTime now, const QStringList& history, const QString& stack);

// Appends a report to the file, creating it; a file that cannot be written loses the report.
void appendExceptionReport(const QString& path, const QByteArray& report);

}  // namespace kolvane
