#include "log/exception_report.h"

#include <QFile>

namespace kolvane {

QByteArray exceptionReportText(DateTime now, const QStringList& history, const QString& stack) {
  const QByteArray crlf("\r\n");
  QByteArray out = "!!! Exception - Date : " +
                   fromDateTime(now).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() +
                   crlf;
  out += "!!! Exception - what preceded = ... \\/  \\/  \\/" + crlf;
  for (const QString& line : history) out += line.toUtf8() + crlf;
  out += "!!! Exception - StackTrace = ... \\/  \\/  \\/" + crlf;
  out += stack.toUtf8();
  out += "!!! Exception - StackTrace = ... /\\  /\\  /\\" + crlf;
  out += crlf;
  return out;
}

void appendExceptionReport(const QString& path, const QByteArray& report) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  file.write(report);
}

}  // namespace kolvane
