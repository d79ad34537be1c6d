// Time and memory of USER on a POP3 store of 10,000 records (or the count given as first
// argument): the list every record above the PC's position is rendered into. With a second
// argument, that many mail programs side by side (each on its own loopback address, so each
// another PC) fetch every record from the built program: greeting, USER, PASS, STAT, RETR of
// each message, QUIT; the time to the last QUIT and each session's length are printed.
#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "core/gateway.h"
#include "mail/mail_rec.h"
#include "mail/pop3_dialogue_list.h"
#include "program_rig.h"

namespace {

long residentKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return 0;
}

bool writeStore(const QString& path, int count, const QByteArray& day = "260201") {
  QFile store(path);
  if (!store.open(QIODevice::WriteOnly)) return false;
  for (int i = 1; i <= count; ++i) {
    kolvane::tMailRec r;
    r.PosID = day + QByteArray::number(i).rightJustified(6, '0');
    r.From = "<+420777" + QByteArray::number(100000 + i) + "@sms.example>";
    r.Toe = "<kolvane>";
    r.Subj = "SMS from phone No.: +420777" + QByteArray::number(100000 + i);
    r.MimeBody = "Text of message " + QByteArray::number(i) + " with a few words of content.";
    store.write(kolvane::MailRecToStr(r));
  }
  return true;
}

int userOnStore(int count) {
  QTemporaryDir dir;
  kolvane::ManualClock clock(5000, kolvane::toDateTime(QDateTime(QDate(2026, 2, 1), QTime(10, 0))));
  kolvane::StartupOptions o;
  o.programFile = QCoreApplication::applicationFilePath();
  o.programDir = dir.path();
  o.headless = true;
  kolvane::Gateway g(clock, o);
  if (!g.InitX()) return 1;
  if (!writeStore(dir.filePath(QStringLiteral("Pop3.Tmp")), count)) return 1;

  const long rssBefore = residentKb();
  const auto start = std::chrono::steady_clock::now();
  const kolvane::Pop3MsgListBuild built = kolvane::BuildPop3MsgList(g, QStringLiteral("pc1"));
  const auto ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  qsizetype bytes = 0;
  for (const kolvane::Pop3Message& m : built.Pop3MsgList) bytes += m.text.size();
  std::printf("USER on %d records: %zu offered, %.1f ms (target under 200 ms)\n", count,
              static_cast<size_t>(built.Pop3MsgList.size()), ms);
  std::printf("list %lld bytes of messages; resident memory grew by %ld kB\n",
              static_cast<long long>(bytes), residentKb() - rssBefore);
  return 0;
}

// One mail program fetching every message in one session.
class FetchClient : public QObject {
 public:
  FetchClient(int id, quint16 port, std::function<void()> done) : id_(id), done_(std::move(done)) {
    connect(&socket_, &QTcpSocket::readyRead, this, [this] { read(); });
    connect(&socket_, &QTcpSocket::disconnected, this, [this] { finish(); });
    socket_.bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(id + 1)));
    began_ = bench::Clock::now();
    socket_.connectToHost(QHostAddress::LocalHost, port);
  }

  int fetched() const { return fetched_; }
  bool quitAnswered() const { return quit_; }
  double seconds() const { return std::chrono::duration<double>(ended_ - began_).count(); }

 private:
  enum class Step { Greeting, User, Pass, Stat, Retr, Quit };

  void read() {
    buffer_ += socket_.readAll();
    for (;;) {
      const QByteArray end = step_ == Step::Retr ? "\r\n.\r\n" : "\r\n";
      const qsizetype at = buffer_.indexOf(end);
      if (at < 0) return;
      const QByteArray reply = buffer_.left(at);
      buffer_.remove(0, at + end.size());
      if (!reply.startsWith("+OK")) {
        std::fprintf(stderr, "refused: %s\n", reply.constData());
        socket_.abort();
        finish();
        return;
      }
      answer(reply);
    }
  }

  void answer(const QByteArray& reply) {
    switch (step_) {
      case Step::Greeting:
        send("USER bench" + QByteArray::number(id_), Step::User);
        break;
      case Step::User:
        send("PASS x", Step::Pass);
        break;
      case Step::Pass:
        send("STAT", Step::Stat);
        break;
      case Step::Stat:
        offered_ = reply.split(' ').value(1).toInt();
        next();
        break;
      case Step::Retr:
        ++fetched_;
        next();
        break;
      case Step::Quit:
        quit_ = true;
        finish();
        socket_.disconnectFromHost();
        break;
    }
  }

  void next() {
    if (fetched_ < offered_) {
      send("RETR " + QByteArray::number(fetched_ + 1), Step::Retr);
    } else {
      send("QUIT", Step::Quit);
    }
  }

  void send(const QByteArray& line, Step next) {
    step_ = next;
    socket_.write(line + "\r\n");
  }

  void finish() {
    if (finished_) return;
    finished_ = true;
    ended_ = bench::Clock::now();
    done_();
  }

  QTcpSocket socket_;
  QByteArray buffer_;
  Step step_ = Step::Greeting;
  int offered_ = 0;
  int fetched_ = 0;
  bool quit_ = false;
  bool finished_ = false;
  bench::Clock::time_point began_;
  bench::Clock::time_point ended_;
  int id_;
  std::function<void()> done_;
};

int sideBySide(QCoreApplication& app, int count, int clients) {
  bench::Rig rig;
  // Dated today: the program expires older records at its start.
  if (!writeStore(rig.path("Pop3.Tmp"), count, QDate::currentDate().toString("yyMMdd").toLatin1()))
    return 1;
  // The modem answers nothing: the store keeps what it holds.
  if (!rig.start(QStringLiteral("OnLine=1\nIntervalOnLine=600000\n"),
                 {QStringLiteral("--silent")}) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("POP3 server listens"); }, 30000)) {
    std::fprintf(stderr, "the gateway's POP3 server did not open\n");
    return 1;
  }
  QObject::connect(&rig.gateway().p, &QProcess::readyRead, &rig.gateway().p,
                   [&rig] { rig.gateway().p.readAll(); });
  const auto t0 = bench::Clock::now();
  int running = clients;
  std::vector<std::unique_ptr<FetchClient>> pool;
  for (int i = 0; i < clients; ++i) {
    pool.push_back(std::make_unique<FetchClient>(i, rig.pop3Port(), [&] {
      if (--running == 0) app.quit();
    }));
  }
  QTimer::singleShot(std::chrono::minutes(30), &app, [&] {
    std::fprintf(stderr, "timed out\n");
    app.quit();
  });
  app.exec();
  const double seconds = std::chrono::duration<double>(bench::Clock::now() - t0).count();
  std::vector<double> lengths;
  int whole = 0;
  for (const auto& c : pool) {
    lengths.push_back(c->seconds());
    if (c->quitAnswered() && c->fetched() == count) ++whole;
  }
  std::sort(lengths.begin(), lengths.end());
  std::printf(
      "%d clients side by side fetched %d messages each: %d sessions whole; all done in %.2f s; "
      "a session took median %.2f s, worst %.2f s (each includes the 1 s pause after its "
      "connect)\n",
      clients, count, whole, seconds, lengths[lengths.size() / 2], lengths.back());
  return whole == clients ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
  if (argc > 2) return sideBySide(app, count, std::clamp(std::atoi(argv[2]), 1, 200));
  return userOnStore(count);
}
