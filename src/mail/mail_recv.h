#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "mail/mail_login.h"
#include "mail/mail_plan.h"
#include "mail/secret_mask.h"
#include "mail/smtp_auth.h"
#include "mail/smtp_line_reader.h"
#include "mail/smtp_server_state.h"
#include "platform/clock.h"

namespace kolvane {

class GatewayContext;

// What a mail or one of its parts holds, as its Content-Type says.
enum class MailPartType { None, Plain, Html, Multipart, Other };

// The Content-Type's format=flowed and delsp=yes of a plain text.
struct TextFormat {
  bool flowed = false;
  bool delSp = false;
};

// The SMTP dialogue of one connection and the conversion of its mails into SMS jobs. The
// connection layer starts it when the client is admitted, hands it every received line without
// its end, and sends the reply left in the session's own reply slot.
class TMailRecv {
 public:
  TMailRecv(GatewayContext& g, SmtpServerState& server);
  ~TMailRecv();
  TMailRecv(const TMailRecv&) = delete;
  TMailRecv& operator=(const TMailRecv&) = delete;

  // A connection is to be served: queues the greeting.
  void StartInitX(const QString& clientName);
  // The served client is gone: a mail it left half-sent is dropped, and a mail being stored
  // answers no one.
  void EndSession();
  // One complete line of the client; dropped counts the bytes of it cut off by the reader, end
  // and before tell how it and the line before it ended.
  void AddRecvStr(const QByteArray& line, qsizetype dropped = 0, LineEnd end = LineEnd::CrLf,
                  LineEnd before = LineEnd::CrLf);
  // Per-mail state reset at DATA.
  void DATAInit();

  // The client sent QUIT; its connection is closed once the reply has left.
  bool QuitSeen = false;
  // Whether the next line answers a challenge for a secret: the trace masks it.
  ClientLine expecting = ClientLine::Command;
  std::function<void()> onQuit;
  // A store file received records (store windows reload it from the start).
  std::function<void(const QString& fileName)> onStoreWritten;
  // The mail in hand is stored or refused: reading may go on.
  std::function<void()> onStoreFinished;
  // A mail was accepted (its "250" is set).
  std::function<void()> onMailAccepted;

  // Set by the connection layer before StartInitX: the client's address is in
  // MailTrustedHosts, so with accounts set it may send without AUTH.
  bool TrustedHost = false;
  // A login was checked; called before its answer is set. The connection layer delays the
  // answer or takes the account as the client's name; false when it closed the connection.
  std::function<bool(const LoginResult&)> onLogin;
  // AUTH succeeded in this session.
  bool Authenticated() const { return authenticated_; }
  // While a login answer waits, the lines after it wait too; off replays them in order.
  void HoldLines(bool on);

  // The mail's records are being written; lines that arrive meanwhile wait their turn.
  bool Storing() const { return storing_; }

  // TLS: the connection is encrypted; STARTTLS is answered and its handshake not done yet
  // (nothing more is read until it is).
  bool TlsActive = false;
  bool TlsStarting = false;
  // The connection layer can encrypt this connection (a certificate is at hand).
  std::function<bool()> tlsAvailable;
  // STARTTLS got its "220": the connection layer drops what the client sent after it and
  // starts the handshake.
  std::function<void()> onStartTls;
  // The handshake is done: the session starts afresh, the client says EHLO again.
  void TlsStarted();

  // Conversion steps, in the order the end of a mail runs them.
  void MailLine();
  void MailDecode();
  MailPlan MailToJobs();

  bool OKChar = false;
  bool SmtpBodyOn = false;
  std::uint8_t SmtpBodyGo = 0;  // 0 skipping, 1 part header, 2 collecting
  bool BodyIsHtml = false;      // the collected text is HTML
  TextFormat BodyFormat;        // of the collected plain text
  bool SmtpTo_Go = false;
  std::int32_t SmtpSaveOkCnt = 0;
  std::int32_t SmtpSaveErrCnt = 0;
  QByteArray IdStr;
  QString NamePC_IPAdr;
  QByteArray From_Str;
  QByteArray EnvelopeFrom;  // bracketed MAIL FROM address; sender of a mail without "From:"
  QList<QByteArray> To_StrLi;
  QByteArray Subj_Str;
  DateTime PreSetTimeAct = 0;
  bool Importance = false;
  QByteArray Encoding_Str;
  QByteArray Boundary_Str;
  QList<QByteArray> InnerBoundaries;  // boundaries of nested multiparts
  QByteArray BodyMail_Str;
  QByteArray BodyASCI_Str;
  QByteArray BodySMS_StrA;
  QByteArray BodySMS_StrB;
  QByteArray BodySMS_Str;
  QByteArray BodySMS_Utf8Str;
  bool BodySMS_Utf8WinOk = false;
  QByteArray SmtpRecvStr;
  bool SmtpDataOn = false;
  // Character set the mail's text declares, as declared; empty when it declares none.
  QByteArray MailCharset;

 private:
  void command();
  void startTls();
  // MailTlsRequired and still in clear.
  bool tlsMissing() const;
  // AUTH and the lines of its exchange (smtp_dialogue_auth.cpp).
  void auth(const QByteArray& line);
  void authLine(const QByteArray& line);
  void authStep(const SmtpAuthExchange::Step& step);
  // MAIL is refused until AUTH: accounts are set and the client is not a trusted host.
  bool authRequired() const;
  // RSET, HELO, the end of a mail: the next mail starts with MAIL again.
  void endTransaction();
  void rcpt(const QByteArray& line);
  // Adds found addresses to the mail's recipients: one per telephone number, at most
  // SmtpMaxRcpt; false when one had to be left out.
  bool takeRecipients(const QList<QByteArray>& found);
  void contentLine(const QByteArray& line, qsizetype dropped);
  void clearMail();
  void endOfMail();
  void refuseMail(const QByteArray& reply, const QString& why);
  void storeFinished(std::uint32_t session, const PlanOutcome& outcome);
  void replayHeldLines();
  void dropHeldLines();
  void headerLine();
  void bodyLine();
  void startPart();
  void endPartHeader();
  bool isBoundaryLine() const;
  bool partIsBlank() const;
  bool isReply() const;

  GatewayContext& g_;
  SmtpServerState& server_;
  std::shared_ptr<bool> alive_;  // a store finishing after this object is gone answers no one
  bool storing_ = false;
  std::uint32_t session_ = 0;  // a store finishing after a new StartInitX answers no one
  struct HeldLine {
    QByteArray line;
    qsizetype dropped;
    LineEnd end;
    LineEnd before;
  };
  void holdLine(HeldLine held);
  QList<HeldLine> heldLines_;
  qint64 heldBytes_ = 0;   // their size, with each line's bookkeeping
  bool heldOver_ = false;  // lines past the bound were dropped
  SmtpAuthExchange auth_;
  bool authenticated_ = false;
  bool linesHeld_ = false;
  bool mailGiven_ = false;     // MAIL accepted in this transaction
  bool rcptGiven_ = false;     // and a RCPT after it
  bool commandsAllLf_ = true;  // every command of the session ended with a bare LF
  qint64 mailBytes_ = 0;       // size of the mail in hand, as received
  bool mailTooBig_ = false;
  MailPartType mailType_ = MailPartType::None;  // of the mail's own header
  TextFormat mailFormat_;
  QByteArray headerCharset_;  // the charset the mail's own header declares
  bool replyHeader_ = false;  // In-Reply-To or References
  bool mailIsFile_ = false;
  MailPartType partType_ = MailPartType::None;  // of the part whose header is being read
  bool partIsFile_ = false;
  QByteArray partCharset_;
  QByteArray partEncoding_;
  TextFormat partFormat_;
  bool partCollected_ = false;  // the text in hand is a part's, not the start of the body
  bool bodyChosen_ = false;
};

}  // namespace kolvane
