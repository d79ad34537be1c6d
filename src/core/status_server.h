#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

namespace kolvane {

class Gateway;

// The local socket in the program folder through which --status and --queue ask the program
// running there. It is for the program's user (and root) alone: the socket file is the user's,
// and a caller of another user is answered "denied".
inline constexpr char kStatusSocketName[] = "Kolvane.sock";
QString statusSocketPath(const QString& folder);

// The requests, one line each; the answer is lines of text, then the connection closes.
inline constexpr char kStatusRequest[] = "status";
inline constexpr char kQueueRequest[] = "queue";
// Reads the settings file again, as SIGHUP does; answered kReloadedAnswer.
inline constexpr char kReloadRequest[] = "reload";
inline constexpr char kReloadedAnswer[] = "reloaded";
inline constexpr char kDeniedAnswer[] = "denied";

class StatusServer : public QObject {
  Q_OBJECT

 public:
  explicit StatusServer(Gateway& gateway);
  ~StatusServer() override;

  // Opens the socket; a failure is logged and the program runs on without it.
  bool listen();

  static constexpr int kMaxCallers = 4;
  static constexpr int kRequestTimeoutMs = 3000;
  static constexpr qsizetype kMaxRequest = 64;

 private:
  void take(QLocalSocket* caller);
  void answer(QLocalSocket* caller);

  Gateway& g_;
  QLocalServer server_;
  int callers_ = 0;
};

}  // namespace kolvane
