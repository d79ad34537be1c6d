// Mail intake of the headless gateway: concurrent SMTP clients, each on its own loopback
// address (127.0.0.1, 127.0.0.2, ...), deliver their share of the mails over one connection
// each; afterwards the jobs in the mail store are counted (none may be missing) and the mails
// accepted per second are printed. Arguments: total mails (default 1000), clients (default 10).
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

quint16 freePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

bool waitForLine(QProcess& p, const QByteArray& text, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    while (p.canReadLine()) {
      if (p.readLine().trimmed().endsWith(text)) return true;
    }
    if (p.state() == QProcess::NotRunning) return false;
    p.waitForReadyRead(200);
  }
  return false;
}

// One mail program: greeting, HELO, then MAIL, RCPT, DATA and the text for each of its mails,
// each step after the reply to the one before; QUIT at the end.
class BenchClient : public QObject {
 public:
  BenchClient(int id, int mails, quint16 port, std::function<void()> done)
      : id_(id), mails_(mails), done_(std::move(done)) {
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { read(); });
    connect(&socket_, &QTcpSocket::disconnected, this, [this] { finish(); });
    socket_.bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(id_ + 1)));
    socket_.connectToHost(QHostAddress::LocalHost, port);
  }

  int accepted() const { return accepted_; }
  int failed() const { return failed_; }
  bool finished() const { return finished_; }

 private:
  enum class Step { Greeting, Helo, Mail, Rcpt, Data, Text, Quit };

  void read() {
    buffer_ += socket_.readAll();
    for (qsizetype end; (end = buffer_.indexOf("\r\n")) >= 0;) {
      const QByteArray reply = buffer_.left(end);
      buffer_.remove(0, end + 2);
      answer(reply);
    }
  }

  void answer(const QByteArray& reply) {
    switch (step_) {
      case Step::Greeting:
        send("HELO bench" + QByteArray::number(id_), Step::Helo);
        break;
      case Step::Helo:
      case Step::Text:
        if (step_ == Step::Text) reply.startsWith("250") ? ++accepted_ : ++failed_;
        if (sent_ == mails_) {
          send("QUIT", Step::Quit);
        } else {
          send("MAIL FROM:<bench@lan>", Step::Mail);
        }
        break;
      case Step::Mail:
        send("RCPT TO:<+420603" + QByteArray::number(100000 + id_) + "@sms.lan>", Step::Rcpt);
        break;
      case Step::Rcpt:
        send("DATA", Step::Data);
        break;
      case Step::Data:
        ++sent_;
        send("Subject: bench\r\n\r\nbench mail " + QByteArray::number(id_) + '-' +
                 QByteArray::number(sent_) + "\r\n.",
             Step::Text);
        break;
      case Step::Quit:
        socket_.disconnectFromHost();
        break;
    }
  }

  void send(const QByteArray& line, Step next) {
    step_ = next;
    socket_.write(line + "\r\n");
  }

  void finish() {
    if (finished_) return;
    finished_ = true;
    done_();
  }

  QTcpSocket socket_;
  QByteArray buffer_;
  int id_;
  int mails_;
  int sent_ = 0;
  int accepted_ = 0;
  int failed_ = 0;
  bool finished_ = false;
  Step step_ = Step::Greeting;
  std::function<void()> done_;
};

// Bodies of the jobs in a store ("bench mail C-N" lines).
QSet<QByteArray> storedMails(const QString& path) {
  QSet<QByteArray> bodies;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return bodies;
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.startsWith("bench mail ")) bodies.insert(line.trimmed());
  }
  return bodies;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int total = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int clients = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 200) : 10;
  const QString bin = QCoreApplication::applicationDirPath();
  QTemporaryDir dir;

  // A modem that never answers: the link opens (and with it the mail servers), but no send
  // phase takes the mail store over while it is counted.
  QProcess modem;
  modem.start(bin + QStringLiteral("/kolvane-modemsim"),
              {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--silent")});
  if (!modem.waitForStarted() || !modem.waitForReadyRead(5000)) {
    std::fprintf(stderr, "cannot start kolvane-modemsim\n");
    return 1;
  }
  const QByteArray ready = modem.readLine().trimmed();
  const quint16 modemPort = ready.mid(ready.lastIndexOf(':') + 1).toUShort();
  const quint16 smtpPort = freePort();

  QFile ini(dir.filePath(QStringLiteral("Kolvane.ini")));
  if (!ini.open(QIODevice::WriteOnly)) return 1;
  ini.write(QStringLiteral("[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%1\nStartGo=1\n"
                           "Interval=0\nDNSOff=1\nSmtpPort=%2\nPop3Port=%3\n")
                .arg(modemPort)
                .arg(smtpPort)
                .arg(freePort())
                .toUtf8());
  ini.close();

  QProcess gateway;
  gateway.setProcessChannelMode(QProcess::MergedChannels);
  gateway.start(bin + QStringLiteral("/Kolvane"),
                {QStringLiteral("--headless"), QStringLiteral("--dir"), dir.path()});
  if (!gateway.waitForStarted() || !waitForLine(gateway, "SMTP server listens", 30000)) {
    std::fprintf(stderr, "the gateway's SMTP server did not open\n");
    return 1;
  }
  // The output is not needed any more; it must not fill the pipe.
  QObject::connect(&gateway, &QProcess::readyRead, &gateway, [&gateway] { gateway.readAll(); });

  const auto t0 = Clock::now();
  int running = clients;
  std::vector<std::unique_ptr<BenchClient>> pool;
  for (int i = 0; i < clients; ++i) {
    const int share = total / clients + (i < total % clients ? 1 : 0);
    pool.push_back(std::make_unique<BenchClient>(i, share, smtpPort, [&] {
      if (--running == 0) app.quit();
    }));
  }
  QTimer::singleShot(std::chrono::minutes(60), &app, [&] {
    std::fprintf(stderr, "timed out\n");
    app.quit();
  });
  app.exec();
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();

  int accepted = 0;
  int failed = 0;
  for (const auto& c : pool) {
    accepted += c->accepted();
    failed += c->failed();
  }
  const QSet<QByteArray> stored = storedMails(dir.filePath(QStringLiteral("Smtp.Tmp")));
  std::printf(
      "%d clients sent %d mails: %d accepted, %d refused, %lld jobs in the mail store "
      "(%s); %.1f s, %.2f mails accepted per second (target 50 per second, none lost)\n",
      clients, total, accepted, failed, static_cast<long long>(stored.size()),
      stored.size() == total ? "none lost" : "JOBS MISSING", seconds, accepted / seconds);

  gateway.terminate();
  gateway.waitForFinished(20000);
  modem.terminate();
  modem.waitForFinished(5000);
  return stored.size() == total ? 0 : 1;
}
