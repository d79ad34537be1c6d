// Resident memory of the headless gateway over many mail sessions with Debug=1: SMTP sessions
// that each deliver one mail, then POP3 sessions that each log in, ask STAT and quit. The
// program's resident memory is read after the first 1,000 sessions of each kind and at the end,
// side by side (target: at most 2 MB more at the end). Arguments: SMTP sessions and POP3
// sessions (default 100,000 each), clients at once (default 4).
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "program_rig.h"

namespace {

long residentKb(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return 0;
}

// One session after the other on one connection at a time: each line is sent after the reply
// to the one before; the POP3 STAT reply and the mail's 250 count as done.
class SessionClient : public QObject {
 public:
  using Script = std::vector<QByteArray>;
  SessionClient(quint16 port, Script script, std::function<bool()> another)
      : port_(port), script_(std::move(script)), another_(std::move(another)) {
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { read(); });
    connect(&socket_, &QTcpSocket::disconnected, this, [this] { next(); });
    next();
  }
  int failed() const { return failed_; }

 private:
  void next() {
    if (!another_()) return;
    step_ = 0;
    buffer_.clear();
    socket_.abort();
    socket_.connectToHost(QHostAddress::LocalHost, port_);
  }

  void read() {
    buffer_ += socket_.readAll();
    for (qsizetype end; (end = buffer_.indexOf("\r\n")) >= 0;) {
      const QByteArray reply = buffer_.left(end);
      buffer_.remove(0, end + 2);
      // The multi-line answer of EHLO or a 354 are answered like any other reply.
      if (reply.size() > 3 && reply[3] == '-') continue;
      if (reply.startsWith('5') || reply.startsWith("-ERR")) ++failed_;
      if (step_ < script_.size()) socket_.write(script_[step_++] + "\r\n");
    }
  }

  QTcpSocket socket_;
  quint16 port_;
  Script script_;
  std::function<bool()> another_;
  QByteArray buffer_;
  std::size_t step_ = 0;
  int failed_ = 0;
};

struct Phase {
  const char* name;
  quint16 port;
  SessionClient::Script script;
  int sessions;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int smtpSessions = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
  const int pop3Sessions = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 100000;
  const int clients = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, 50) : 4;
  const QString bin = QCoreApplication::applicationDirPath();
  QTemporaryDir dir;

  // A modem that never answers: the mail servers open, the jobs stay in the mail store.
  QProcess modem;
  modem.start(bin + QStringLiteral("/kolvane-modemsim"),
              {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--silent")});
  if (!modem.waitForStarted() || !modem.waitForReadyRead(5000)) {
    std::fprintf(stderr, "cannot start kolvane-modemsim\n");
    return 1;
  }
  const QByteArray ready = modem.readLine().trimmed();
  const quint16 smtpPort = bench::freePort();
  const quint16 pop3Port = bench::freePort();
  QFile ini(dir.filePath(QStringLiteral("Kolvane.ini")));
  if (!ini.open(QIODevice::WriteOnly)) return 1;
  ini.write(QStringLiteral("[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%1\nStartGo=1\n"
                           "OnLine=1\nDebug=1\nDNSOff=1\nSmtpPort=%2\nPop3Port=%3\n")
                .arg(QString::fromLatin1(ready.mid(ready.lastIndexOf(':') + 1)))
                .arg(smtpPort)
                .arg(pop3Port)
                .toUtf8());
  ini.close();

  QProcess gateway;
  gateway.setProcessChannelMode(QProcess::MergedChannels);
  const QString program = qEnvironmentVariable("KOLVANE_PROGRAM");
  gateway.start(program.isEmpty() ? bin + QStringLiteral("/Kolvane") : program,
                {QStringLiteral("--headless"), QStringLiteral("--dir"), dir.path()});
  QByteArray seen;
  const auto end = bench::Clock::now() + std::chrono::seconds(30);
  while (!seen.contains("POP3 server listens") && bench::Clock::now() < end &&
         gateway.state() != QProcess::NotRunning) {
    gateway.waitForReadyRead(200);
    seen += gateway.readAll();
  }
  if (!seen.contains("POP3 server listens")) {
    std::fprintf(stderr, "the gateway's mail servers did not open\n");
    return 1;
  }
  // Debug lines by the hundred thousand: read and dropped, so the pipe never fills.
  QObject::connect(&gateway, &QProcess::readyRead, &gateway, [&gateway] { gateway.readAll(); });

  const std::vector<Phase> phases = {
      {"SMTP",
       smtpPort,
       {"HELO bench", "MAIL FROM:<bench@lan>", "RCPT TO:<+420603100000@sms.lan>", "DATA",
        "Subject: bench\r\n\r\nbench mail\r\n.", "QUIT"},
       smtpSessions},
      {"POP3", pop3Port, {"USER benchpc", "PASS x", "STAT", "QUIT"}, pop3Sessions}};
  const qint64 pid = gateway.processId();
  std::printf("resident memory of the gateway, Debug=1 (%d clients at once)\n", clients);
  std::printf("%-6s %10s %16s %12s %10s\n", "", "sessions", "after 1,000 kB", "at end kB",
              "growth kB");
  bool withinTarget = true;
  for (const Phase& phase : phases) {
    int started = 0;
    int done = -clients;  // each client's first call starts its first session
    long afterFirst = 0;
    const auto another = [&]() {
      ++done;
      if (done == 1000) afterFirst = residentKb(pid);
      if (started == phase.sessions) {
        if (done >= phase.sessions) app.quit();
        return false;
      }
      ++started;
      return true;
    };
    std::vector<std::unique_ptr<SessionClient>> pool;
    for (int i = 0; i < clients; ++i) {
      pool.push_back(std::make_unique<SessionClient>(phase.port, phase.script, another));
    }
    QTimer::singleShot(std::chrono::hours(3), &app, [&] {
      std::fprintf(stderr, "timed out\n");
      app.quit();
    });
    app.exec();
    const long atEnd = residentKb(pid);
    int failed = 0;
    for (const auto& c : pool) failed += c->failed();
    std::printf("%-6s %10d %16ld %12ld %10ld%s\n", phase.name, phase.sessions, afterFirst, atEnd,
                atEnd - afterFirst, failed ? " (some replies were errors)" : "");
    std::fflush(stdout);
    withinTarget = withinTarget && atEnd - afterFirst <= 2048;
  }
  std::printf("target: at most 2048 kB growth after the first 1,000 sessions: %s\n",
              withinTarget ? "met" : "MISSED");
  gateway.terminate();
  gateway.waitForFinished(20000);
  modem.terminate();
  modem.waitForFinished(5000);
  return withinTarget ? 0 : 1;
}
