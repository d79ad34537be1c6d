#include "mail/socket_read.h"

#include <QTcpSocket>
#include <exception>

namespace kolvane {

SocketRead ReadWaitingBytes(QTcpSocket& socket, const QString& server,
                            const std::function<void(const QString&)>& log) {
  SocketRead r;
  try {
    const qint64 waiting = socket.bytesAvailable();
    if (waiting < 0) {
      log(server + QStringLiteral(" Socket Error ReceiveLength"));
      r.outcome = SocketRead::Failed;
      return r;
    }
    if (waiting == 0) return r;
    r.bytes.resize(waiting);
    const qint64 got = socket.read(r.bytes.data(), waiting);
    if (got < 0) {
      log(server + QStringLiteral(" Socket Error ReceiveBuf"));
      r.bytes.clear();
      r.outcome = SocketRead::Failed;
      return r;
    }
    // Fewer bytes than announced shorten the buffer.
    r.bytes.truncate(got);
    r.outcome = got > 0 ? SocketRead::Bytes : SocketRead::Nothing;
  } catch (const std::exception&) {
    log(server + QStringLiteral(" Socket Exception"));
    r.bytes.clear();
    r.outcome = SocketRead::Threw;
  }
  return r;
}

}  // namespace kolvane
