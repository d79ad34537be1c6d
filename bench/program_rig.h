#pragma once

// The built program headless beside kolvane-modemsim over TCP, both outputs read line by line
// with the moment each line came: shared by the benchmarks that time the link end to end.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

inline quint16 freePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

struct Line {
  Clock::time_point at;
  QByteArray text;
};

// A child process whose output lines are kept with the time they were read.
struct Peer {
  Peer() { p.setProcessChannelMode(QProcess::MergedChannels); }
  void collect() {
    while (p.canReadLine()) lines.push_back({Clock::now(), p.readLine().trimmed()});
  }
  bool saw(const QByteArray& tail) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const Line& l) { return l.text.endsWith(tail); });
  }
  QProcess p;
  std::vector<Line> lines;
};

class Rig {
 public:
  // Starts the modem (with modemArgs) and the gateway with cfg added to the link settings.
  // KOLVANE_PROGRAM names another build of the program to measure beside this one.
  bool start(const QString& cfg, const QStringList& modemArgs = {}) {
    const QString bin = QCoreApplication::applicationDirPath();
    inject_ = dir_.filePath(QStringLiteral("inject.txt"));
    QFile(inject_).open(QIODevice::WriteOnly);
    modem_.p.start(
        bin + QStringLiteral("/kolvane-modemsim"),
        QStringList{QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--trace"),
                    QStringLiteral("--inject-file"), inject_} +
            modemArgs);
    QByteArray ready;
    if (!modem_.p.waitForStarted() || !pumpUntil(
                                          [&] {
                                            for (const Line& l : modem_.lines) {
                                              if (l.text.contains("listening on")) ready = l.text;
                                            }
                                            return !ready.isEmpty();
                                          },
                                          5000)) {
      std::fprintf(stderr, "cannot start kolvane-modemsim\n");
      return false;
    }
    QFile ini(dir_.filePath(QStringLiteral("Kolvane.ini")));
    if (!ini.open(QIODevice::WriteOnly)) return false;
    // The first of a key wins: cfg may set MemCheOn again.
    ini.write(QStringLiteral("[CFG]\n%4ComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%1\nSmtpPort=%2\n"
                             "Pop3Port=%3\nStartGo=1\nMemCheOn=0\nDNSOff=1\n")
                  .arg(QString::fromLatin1(ready.mid(ready.lastIndexOf(':') + 1)))
                  .arg(smtpPort_ = freePort())
                  .arg(pop3Port_ = freePort())
                  .arg(cfg)
                  .toUtf8());
    ini.close();
    const QString program = qEnvironmentVariable("KOLVANE_PROGRAM");
    gateway_.p.start(program.isEmpty() ? bin + QStringLiteral("/Kolvane") : program,
                     {QStringLiteral("--headless"), QStringLiteral("--dir"), dir_.path()});
    return gateway_.p.waitForStarted();
  }

  ~Rig() {
    gateway_.p.terminate();
    gateway_.p.waitForFinished(20000);
    modem_.p.terminate();
    modem_.p.waitForFinished(5000);
  }

  // Reads both outputs until done() holds; false after timeoutMs or when a process ended.
  bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
      for (Peer* peer : {&modem_, &gateway_}) {
        if (peer->p.state() == QProcess::NotRunning) continue;
        peer->p.waitForReadyRead(1);
        peer->collect();
      }
      if (done()) return true;
      if (modem_.p.state() == QProcess::NotRunning) return false;
    }
    return false;
  }

  QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  void inject(const QByteArray& line) {
    QFile f(inject_);
    if (f.open(QIODevice::Append)) f.write(line + '\n');
  }
  quint16 smtpPort() const { return smtpPort_; }
  quint16 pop3Port() const { return pop3Port_; }
  Peer& modem() { return modem_; }
  Peer& gateway() { return gateway_; }

 private:
  QTemporaryDir dir_;
  QString inject_;
  quint16 smtpPort_ = 0;
  quint16 pop3Port_ = 0;
  Peer modem_;
  Peer gateway_;
};

inline bool fileHolds(const QString& path, const QByteArray& text) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) && f.readAll().contains(text);
}

}  // namespace bench
