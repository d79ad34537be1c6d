#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QTcpSocket;

namespace kolvane {

// One read of what a served client has sent.
struct SocketRead {
  enum Outcome { Bytes, Nothing, Failed, Threw };
  Outcome outcome = Nothing;
  QByteArray bytes;
};

// Reads every byte the socket holds. Failures are logged as server (the "SMTP" or "POP3"
// prefix) + " Socket Error ReceiveLength", " Socket Error ReceiveBuf" or " Socket Exception".
SocketRead ReadWaitingBytes(QTcpSocket& socket, const QString& server,
                            const std::function<void(const QString&)>& log);

}  // namespace kolvane
