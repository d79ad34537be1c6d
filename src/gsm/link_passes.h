#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include "platform/clock.h"

namespace kolvane {

class GatewayContext;

// "PRImaGate" and "BlueGateISDNBrave" speak their own framed line protocol; every other
// device speaks AT commands.
bool usesGatewayProtocol(const QString& gsmDevice);

// The link's receive and send passes on the gateway's event loop. Each pass skips while the
// other is busy. Bytes are read when they arrive, and what they make due (the next command,
// the stage work of the main cycle) follows at once; the 250 ms pass stays as the fallback
// that drives the answer watchdog and the time-outs. A write that the device takes only in
// part goes on with the rest 200 ms later; until the write has ended the send pass stays busy
// and starts nothing new, so replies are read only after the command is out.
class LinkPasses : public QObject {
  Q_OBJECT

 public:
  explicit LinkPasses(GatewayContext& gateway, QObject* parent = nullptr);

  void start();
  void stop();

  // One pass each; the timers call them, tests call them themselves.
  void RecvPass();
  void SendPass();

  bool writePending() const { return write_.has_value(); }
  // The relation ends: a modem that may sit at its prompt gets ESC, so nothing later is typed
  // into that body.
  void closePrompt();
  // A command waits to be written.
  bool commandPending() const;

  // The link's device has bytes: they are read on the next turn of the loop.
  void bytesArrived();
  // A relation has begun: its first stage work runs on the next turn of the loop.
  void wake();
  // After each tick: a command the cycle set is written on the next turn of the loop, and the
  // fallback pass, stopped between relations, runs again once one has begun.
  void afterCycle();
  // The link's connection has gone: an ending relation closes on the next turn of the loop.
  void linkDropped();

  static constexpr int kRecvPassMs = 250;
  // The pace of a write's retries.
  static constexpr int kSendPassMs = 50;
  static constexpr int kWriteAttempts = 11;
  static constexpr std::uint32_t kWriteRetryMs = 200;
  // Receive passes in a row whose read failed before the device counts as gone.
  static constexpr int kLostAfterErrorPasses = 4;

 private:
  struct PendingWrite {
    QByteArray rest;  // what the device has not taken yet
    int attempts = 0;
    Tick dueAt = 0;
    bool serial = false;
    bool atDevice = true;
    bool escape = false;  // ESC alone, no command
  };

  // The device or the TCP gateway can be read and written.
  bool linkUsable() const;
  bool relationActive() const;
  // The relation has ended but the link is not closed yet.
  bool relationEnding() const;
  void fallbackPass();

  // Receive (link_receive.cpp).
  QByteArray takeReceivedBlock();
  void handOver(const QByteArray& block);

  // Send, and a write that the device takes only in part (link_send.cpp).
  bool takeSendRequest(QByteArray* data, bool* escape);
  // Drops what the device sent before the relation's first command; false when it is gone.
  bool kickOffClears();
  void endSendPass();
  qint64 writeToLink(const QByteArray& data, bool serial);
  void writeAttempt();
  void writeEnded(bool complete);

  // Stage scheduling (link_stages.cpp).
  void resumeFallback();
  // Runs followUp() after ms, or sooner if it is already due sooner.
  void scheduleFollowUp(int ms);
  // Reads what arrived, writes a command that is set and runs the stage work that has fallen
  // due; a send phase scheduled later is followed up at its time.
  void followUp();
  // The idle end of the relation is followed up at its time rather than at the next tick
  // (link_idle_end.cpp).
  void scheduleIdleEnd();

  // Faults and the loss of the device (link_loss.cpp).
  // A fault that may repeat every pass: logged once per relation, then only counted.
  void logFault(const QString& text);
  // The serial device is gone: the port is closed once and the relation ends.
  void serialLinkLost();
  void endRelationNow();

  GatewayContext& gateway_;
  QTimer recvPassTimer_;
  QTimer sendPassTimer_;
  QTimer followUpTimer_;
  bool readWanted_ = false;
  bool running_ = false;  // between start() and stop()
  std::optional<PendingWrite> write_;
  int readErrorPasses_ = 0;
};

}  // namespace kolvane
