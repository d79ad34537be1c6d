#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include "endpoint.h"

namespace kolvane::modemsim {

// Listens on 127.0.0.1; a new client replaces the one before.
class TcpEndpoint final : public Endpoint {
  Q_OBJECT

 public:
  // label names the simulator in the ready line.
  explicit TcpEndpoint(quint16 port, QString label = QStringLiteral("modemsim"),
                       QObject* parent = nullptr);
  bool open(QString* error) override;
  void write(const QByteArray& bytes) override;
  void drop() override;

 private:
  void accept();
  void release();

  quint16 port_;
  QString label_;
  QTcpServer server_;
  QPointer<QTcpSocket> client_;
};

}  // namespace kolvane::modemsim
