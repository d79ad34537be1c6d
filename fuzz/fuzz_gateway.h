#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "core/gateway.h"
#include "mail/client_limits.h"
#include "mail/mail_recv.h"
#include "mail/smtp_line_reader.h"
#include "mail/smtp_server_state.h"
#include "platform/clock.h"

namespace kolvane::fuzz {

// One headless gateway per fuzzing process, in a folder of its own on a manual clock: the
// readers under test take their settings, log and stores from it. Nothing listens.
class FuzzGateway {
 public:
  static FuzzGateway& instance() {
    static FuzzGateway fg;
    return fg;
  }

  Gateway& g() { return *gateway_; }
  QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  // With on, one account (a quick hash, so that logins do not slow the fuzzing down) and the
  // first session's address trusted; without, no accounts.
  void accounts(bool on) {
    auto& cfg = gateway_->state().cfg;
    cfg.MailUsers.clear();
    if (on) cfg.MailUsers.push_back({QStringLiteral("alice"), QString::fromLatin1(kQuickHash)});
  }
  // The hash of "alice-pw".
  static constexpr const char* kQuickHash = "$1$fuzzsalt$rqfzKfHJvsov/OM/.rEin1";

  // Removes a store between inputs so that it does not grow without end.
  void reset(const char* name) const { QFile::remove(path(name)); }

  // Several connections side by side: the input is a run of chunks, each a selector byte
  // (which session), a length byte and that many bytes, handed to the sessions as they come.
  template <typename Feed>
  static void interleaved(const QByteArray& bytes, int sessions, const Feed& feed) {
    for (qsizetype at = 0; at < bytes.size();) {
      const int session = static_cast<unsigned char>(bytes[at]) % sessions;
      const qsizetype length =
          at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at + 1]) + 1 : 0;
      at += 2;
      feed(session, bytes.mid(at, length));
      at += length;
    }
  }

  // One SMTP connection that sends `bytes`, through the line reader and the dialogue; the
  // stores it wrote are removed afterwards.
  void smtpSession(const QByteArray& bytes) {
    SmtpServerState server;
    TMailRecv dialogue(*gateway_, server);
    SmtpLineReader reader(kMaxLineBytes);
    dialogue.StartInitX(QStringLiteral("127.0.0.1"));
    reader.feed(
        bytes, [&dialogue](const QByteArray& line, qsizetype dropped, LineEnd end, LineEnd before) {
          dialogue.AddRecvStr(line, dropped, end, before);
        });
    QCoreApplication::processEvents();
    for (const char* store : {"Smtp.Tmp", "SmtpPriH.Tmp", "SmtpWait.Tmp", "Pop3.Tmp"}) reset(store);
  }

  // SMTP connections side by side that send `bytes`, each through its own line reader and
  // dialogue; the stores they wrote are removed afterwards.
  void smtpSessions(const QByteArray& bytes) {
    constexpr int kSessions = 3;
    std::vector<std::unique_ptr<SmtpServerState>> servers;
    std::vector<std::unique_ptr<TMailRecv>> dialogues;
    std::vector<SmtpLineReader> readers(kSessions, SmtpLineReader(kMaxLineBytes));
    for (int i = 0; i < kSessions; ++i) {
      servers.push_back(std::make_unique<SmtpServerState>());
      dialogues.push_back(std::make_unique<TMailRecv>(*gateway_, *servers.back()));
      dialogues.back()->TrustedHost = i == 0;
      dialogues.back()->StartInitX(QStringLiteral("127.0.0.%1").arg(i + 1));
    }
    interleaved(bytes, kSessions, [&](int i, const QByteArray& chunk) {
      TMailRecv& dialogue = *dialogues[i];
      readers[i].feed(
          chunk, [&dialogue](const QByteArray& line, qsizetype dropped, LineEnd end,
                             LineEnd before) { dialogue.AddRecvStr(line, dropped, end, before); });
      QCoreApplication::processEvents();
    });
    QCoreApplication::processEvents();
    for (const char* store : {"Smtp.Tmp", "SmtpPriH.Tmp", "SmtpWait.Tmp", "Pop3.Tmp"}) reset(store);
  }

 private:
  FuzzGateway() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app_ = std::make_unique<QCoreApplication>(argc, argv);
    QFile ini(dir_.filePath(QStringLiteral("Kolvane.ini")));
    if (ini.open(QIODevice::WriteOnly)) {
      ini.write("[CFG]\nSmtpPort=0\nPop3Port=0\nLogFiOn=0\nSmsToCmdSw=0\nSmsToTtsSw=0\n");
      ini.close();
    }
    StartupOptions o;
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir_.path();
    o.headless = true;
    gateway_ = std::make_unique<Gateway>(clock_, o);
    gateway_->log().setEchoSink([](const QString&) {});
    gateway_->InitX();
    gateway_->state().FirstPaintPending = false;
  }

  std::unique_ptr<QCoreApplication> app_;
  QTemporaryDir dir_;
  ManualClock clock_{100000, toDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)))};
  std::unique_ptr<Gateway> gateway_;
};

}  // namespace kolvane::fuzz
