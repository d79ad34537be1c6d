#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QTcpServer>

namespace kolvane {

// A TCP port free at the moment of asking, for a test gateway's mail servers. It is drawn
// below the kernel's ephemeral range (32768 and up on Linux): a port the kernel handed out
// for port 0 is the next one it gives an outgoing connection, which then holds it when the
// gateway comes to listen.
inline int FreePort() {
  for (int tries = 0; tries < 200; ++tries) {
    const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 32000));
    QTcpServer probe;
    if (probe.listen(QHostAddress::Any, port)) return port;
  }
  return 0;
}

// The settings lines that put both mail servers on free ports.
inline QByteArray FreeMailPorts() {
  const int smtp = FreePort();
  int pop3 = FreePort();
  while (pop3 == smtp) pop3 = FreePort();
  return "SmtpPort=" + QByteArray::number(smtp) + "\nPop3Port=" + QByteArray::number(pop3) + "\n";
}

}  // namespace kolvane
