// CPU share and resident memory of the headless gateway while it idles between relations.
// Starts the built program beside kolvane-modemsim (TCP link), waits until the first relation
// has ended, then watches the process for 60 s (or the seconds given as first argument). A
// second argument names another folder holding the two programs, to compare builds side by
// side. CPU time and wake-ups (context switches) are the kernel's counts over all threads.
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

struct Sample {
  double cpuSeconds = 0;   // the kernel's exact count over all threads (schedstat)
  long long switches = 0;  // context switches over all threads: the process's wake-ups
  long rssKb = 0;
};

Sample sample(qint64 pid) {
  Sample s;
  const QString proc = QStringLiteral("/proc/%1").arg(pid);
  for (const QString& task :
       QDir(proc + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QString dir = proc + QStringLiteral("/task/") + task;
    QFile schedstat(dir + QStringLiteral("/schedstat"));
    if (schedstat.open(QIODevice::ReadOnly)) {
      // Nanoseconds on the CPU, nanoseconds waiting to run, time slices.
      s.cpuSeconds += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    QFile status(dir + QStringLiteral("/status"));
    if (status.open(QIODevice::ReadOnly)) {
      for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:") ||
            line.startsWith("nonvoluntary_ctxt_switches:")) {
          s.switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
      }
    }
  }
  QFile status(proc + QStringLiteral("/status"));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (line.startsWith("VmRSS:")) s.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
  }
  return s;
}

quint16 freePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// Reads the process's output lines until one ends with text; false after timeoutMs.
bool waitForLine(QProcess& p, const QByteArray& text, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    while (p.canReadLine()) {
      const QByteArray line = p.readLine().trimmed();
      if (line.endsWith(text)) return true;
    }
    if (p.state() == QProcess::NotRunning) return false;
    p.waitForReadyRead(200);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  const QString bin =
      argc > 2 ? QString::fromLocal8Bit(argv[2]) : QCoreApplication::applicationDirPath();
  const QString program = bin + QStringLiteral("/Kolvane");
  const QString modemProgram = bin + QStringLiteral("/kolvane-modemsim");
  QTemporaryDir dir;

  QProcess modem;
  QString link = QStringLiteral("ComTcp=0\nStartGo=0\n");
  bool withModem = false;
  if (QFile::exists(modemProgram)) {
    modem.start(modemProgram, {QStringLiteral("--tcp"), QStringLiteral("0")});
    // The ready line: "modemsim listening on 127.0.0.1:PORT".
    if (modem.waitForStarted() && modem.waitForReadyRead(5000)) {
      const QByteArray ready = modem.readLine().trimmed();
      const quint16 port = ready.mid(ready.lastIndexOf(':') + 1).toUShort();
      if (port != 0) {
        withModem = true;
        link = QStringLiteral(
                   "ComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%1\nStartGo=1\n"
                   "Interval=5\n")
                   .arg(port);
      }
    }
  }

  QFile ini(dir.filePath(QStringLiteral("Kolvane.ini")));
  if (!ini.open(QIODevice::WriteOnly)) return 1;
  ini.write(QStringLiteral("[CFG]\n%1SmtpPort=%2\nPop3Port=%3\n")
                .arg(link)
                .arg(freePort())
                .arg(freePort())
                .toUtf8());
  ini.close();

  QProcess gateway;
  gateway.setProcessChannelMode(QProcess::MergedChannels);
  gateway.start(program, {QStringLiteral("--headless"), QStringLiteral("--dir"), dir.path()});
  if (!gateway.waitForStarted()) {
    std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
    return 1;
  }
  if (withModem && !waitForLine(gateway, "GSM Gate disconnected", 60000)) {
    std::fprintf(stderr, "the first relation did not end\n");
    return 1;
  }
  if (!withModem) std::this_thread::sleep_for(std::chrono::seconds(2));

  const qint64 pid = gateway.processId();
  const Sample before = sample(pid);
  const auto t0 = std::chrono::steady_clock::now();
  long peakRss = before.rssKb;
  for (int i = 0; i < seconds; ++i) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    gateway.readAll();
    peakRss = std::max(peakRss, sample(pid).rssKb);
  }
  const Sample after = sample(pid);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  std::printf(
      "idle %s for %.0f s: CPU %.4f %% of one core, %.2f wake-ups/s, resident memory %.1f MB "
      "(peak %.1f MB); target 0.02 %%, 0.5 wake-ups/s and under 50 MB\n",
      withModem ? "between relations with kolvane-modemsim over TCP" : "without a link", wall,
      100.0 * (after.cpuSeconds - before.cpuSeconds) / wall,
      static_cast<double>(after.switches - before.switches) / wall, after.rssKb / 1024.0,
      peakRss / 1024.0);

  gateway.terminate();
  gateway.waitForFinished(10000);
  modem.terminate();
  modem.waitForFinished(5000);
  return 0;
}
