#pragma once

#include <QByteArray>
#include <QTcpServer>

namespace kolvane {

// A TCP port free at the moment of asking, for a test gateway's mail servers.
inline int FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::Any, 0);
  return probe.serverPort();
}

// The settings lines that put both mail servers on free ports.
inline QByteArray FreeMailPorts() {
  return "SmtpPort=" + QByteArray::number(FreePort()) +
         "\nPop3Port=" + QByteArray::number(FreePort()) + "\n";
}

}  // namespace kolvane
