#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QRandomGenerator>
#include <QTcpServer>

namespace kolvane {

// Claims a port for this test process among all test processes of the machine: a lock on a
// file named after the port, held until the process ends (the kernel drops it then, so
// nothing is left stale). Without it two tests running side by side may draw the same free
// port and one of them finds it taken when its gateway comes to listen.
inline bool ClaimTestPort(int port) {
  const QByteArray folder = QDir::tempPath().toLocal8Bit() + "/kolvane-test-ports";
  ::mkdir(folder.constData(), 0777);
  const QByteArray path = folder + '/' + QByteArray::number(port);
  const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return true;  // no claim possible: the probe alone decides
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;  // kept open for the process's life
  ::close(fd);
  return false;
}

// A TCP port free at the moment of asking, for a test gateway's mail servers. It is drawn
// below the kernel's ephemeral range (32768 and up on Linux): a port the kernel handed out
// for port 0 is the next one it gives an outgoing connection, which then holds it when the
// gateway comes to listen.
inline int FreePort() {
  for (int tries = 0; tries < 200; ++tries) {
    const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 32000));
    QTcpServer probe;
    if (probe.listen(QHostAddress::Any, port) && ClaimTestPort(port)) return port;
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
