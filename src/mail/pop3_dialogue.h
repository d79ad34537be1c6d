#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "mail/mail_login.h"
#include "mail/pop3_dialogue_list.h"
#include "mail/pop3_server_state.h"
#include "mail/secret_mask.h"

namespace kolvane {

class GatewayContext;

// The POP3 dialogue of one session. The connection layer starts it when the connection is
// admitted and hands it the received bytes; every reply goes to the session's reply slot. The
// message list belongs to the session: commands that need it get "-ERR" until this session
// has sent USER.
class Pop3Dialogue {
 public:
  Pop3Dialogue(GatewayContext& g, Pop3ServerState& server) : g_(g), server_(server) {}

  // A connection of this client is to be served; nothing of the previous one is kept.
  void start(const QString& clientName);
  // Received bytes; CR LF, CR and LF all end a line, empty lines are ignored, and a line too
  // long for a command is refused. Returns the number of lines completed.
  int AddRecvBytes(const QByteArray& bytes);
  // While a login answer waits, the bytes after it wait too; off goes on with them.
  void HoldLines(bool on);
  // One line without its terminator. Every line is answered.
  void command(const QByteArray& line);

  // QUIT saved the PC's position: the registry and the clients window follow it.
  std::function<void(const QString& client, const QByteArray& position)> onPositionSaved;
  // USER opens the PC's mailbox; false when another session holds it (the maildrop lock).
  std::function<bool()> mayOpenMailbox;
  // With accounts, PASS checked a login; called before its answer is set. The connection
  // layer delays the answer or takes the account as the client's name; false when it closed
  // the connection.
  std::function<bool(const LoginResult&)> onLogin;

  // QUIT was answered: the session ends once the reply has left, and reads nothing more.
  bool QuitSeen = false;
  // Whether the next line answers a challenge for a secret: the trace masks it.
  ClientLine expecting = ClientLine::Command;

  const QString& client() const { return client_; }
  bool listBuilt() const { return listBuilt_; }

  QByteArray Pop3User;
  QList<Pop3Message> Pop3MsgList;
  std::int64_t Pop3ClientPos = 0;
  std::int64_t Pop3MaxPosID = 0;

 private:
  void user(const QByteArray& line);
  void pass(const QByteArray& line);
  // The mailbox of the client opens: its message list is built.
  void openMailbox();
  void quit();
  QByteArray scanReply(const QByteArray& line, QByteArray (*field)(const Pop3Message&)) const;
  QByteArray listReply(const QByteArray& line) const;
  QByteArray uidlReply(const QByteArray& line) const;
  QByteArray retrReply(const QByteArray& line);
  QByteArray topReply(const QByteArray& line) const;
  QByteArray deleReply(const QByteArray& line);
  // The 1-based number of a LIST, UIDL, RETR or DELE line when it names a message not deleted.
  std::optional<qsizetype> validNumber(const QByteArray& line) const;
  qsizetype liveCount() const;
  // A message leaves the PC's box only once retrieved or deleted; the saved position stays
  // below the first message that was neither.
  std::int64_t positionAfterQuit() const;

  GatewayContext& g_;
  Pop3ServerState& server_;
  QString client_;
  bool listBuilt_ = false;
  bool userGiven_ = false;  // with accounts: USER came, PASS may follow
  bool linesHeld_ = false;
  QByteArray heldBytes_;      // received while a login answer waits
  bool lineTooLong_ = false;  // the line being received is past the limit; its rest is dropped
};

}  // namespace kolvane
