#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "core/gateway.h"
#include "gsm/at_automaton.h"

namespace kolvane {

// A started gateway in a temporary folder with a manual clock, and the two ends of the AT
// link as the transport passes would drive them.
class AtTestGateway {
 public:
  AtTestGateway() {
    StartupOptions o;
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir_.path();
    o.headless = true;
    gateway_ = std::make_unique<Gateway>(clock, o);
    started = gateway_->InitX();
    logs();
  }

  Gateway& g() { return *gateway_; }
  GatewayState& gs() { return gateway_->state(); }
  LinkState& link() { return gateway_->link(); }

  // Bytes from the modem, handed over one at a time.
  void feed(QByteArrayView bytes) {
    for (char c : bytes) {
      link().GsmRecvStr += c;
      RecvATcmd(*gateway_);
    }
  }
  void line(const QByteArray& text) { feed("\r\n" + text + "\r\n"); }

  // The command the send pass would write next, taken as the send pass takes it.
  std::optional<QByteArray> takeCommand() {
    if (!link().GsmSendOn) return std::nullopt;
    link().GsmSendOn = false;
    at::CommandWritten(*gateway_);
    return link().GsmSendStr;
  }

  // Answers every command with `modem` until the automaton stops writing.
  QList<QByteArray> converse(const std::function<QByteArray(const QByteArray&)>& modem) {
    QList<QByteArray> commands;
    while (auto command = takeCommand()) {
      commands << *command;
      if (commands.size() > 100) break;
      clock.advance(50);
      feed(modem(*command));
    }
    return commands;
  }

  // Log lines since the last call, without their time stamps.
  QStringList logs() {
    QStringList lines;
    while (auto l = gateway_->log().takePendingLine()) lines << l->mid(10);
    return lines;
  }

  ManualClock clock{100000, toDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)))};
  bool started = false;

 private:
  QTemporaryDir dir_;
  std::unique_ptr<Gateway> gateway_;
};

}  // namespace kolvane
