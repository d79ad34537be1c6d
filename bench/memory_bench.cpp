// Resident memory and loaded libraries of the service program kolvaned beside
// `Kolvane --headless`, in one run: each beside its own kolvane-modemsim over TCP, measured
// once its first relation has ended and it has idled for a while (the first argument, seconds,
// default 20). Prints for each the resident memory (anonymous and file-backed), the libraries
// it has loaded and those of a desktop among them, and for kolvaned what takes its memory;
// beside them the floor, a listener on the same Qt libraries that does nothing else.
// A second argument names another folder holding the programs.
#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr double kTargetMb = 11.0;

quint16 freePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

bool waitForLine(QProcess& p, const QByteArray& text, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    while (p.canReadLine()) {
      if (p.readLine().trimmed().contains(text)) return true;
    }
    if (p.state() == QProcess::NotRunning) return false;
    p.waitForReadyRead(200);
  }
  return false;
}

long statusKb(qint64 pid, const char* field) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith(field)) return line.mid(qstrlen(field)).trimmed().split(' ')[0].toLong();
  }
  return 0;
}

// The proportional set: each page shared with other processes counted by its share.
long pssKb(qint64 pid) {
  QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
  if (!rollup.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : rollup.readAll().split('\n')) {
    if (line.startsWith("Pss:")) return line.mid(4).trimmed().split(' ')[0].toLong();
  }
  return 0;
}

// Resident kilobytes per mapped file ("[heap]", "[anon]" and the like for the others).
QMap<QString, long> residentByMapping(qint64 pid) {
  QMap<QString, long> out;
  QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
  if (!smaps.open(QIODevice::ReadOnly)) return out;
  static const QRegularExpression header(QStringLiteral("^[0-9a-f]+-[0-9a-f]+ "));
  QString current;
  for (const QByteArray& raw : smaps.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw);
    if (header.match(line).hasMatch()) {
      const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
      current = words.size() >= 6 ? words.mid(5).join(QLatin1Char(' ')) : QStringLiteral("[anon]");
    } else if (line.startsWith(QLatin1String("Rss:"))) {
      out[current] += line.mid(4).trimmed().split(QLatin1Char(' '))[0].toLong();
    }
  }
  return out;
}

QStringList libraries(const QMap<QString, long>& mappings) {
  QStringList out;
  for (auto it = mappings.begin(); it != mappings.end(); ++it) {
    if (it.key().contains(QLatin1String(".so"))) out << it.key();
  }
  return out;
}

QStringList desktopLibraries(const QStringList& libs) {
  static const QRegularExpression desktop(QStringLiteral(
      "libQt6(Widgets|Gui|OpenGL|XcbQpa|Svg)|libX11|libxcb|libEGL|libGL|libOpenGL|libGLX"));
  QStringList out;
  for (const QString& l : libs) {
    if (desktop.match(l).hasMatch()) out << l.section(QLatin1Char('/'), -1);
  }
  return out;
}

// One gateway beside its own simulated modem, in a folder of its own.
struct Subject {
  QString name;
  QTemporaryDir dir;
  QProcess modem;
  QProcess gateway;

  bool start(const QString& bin, const QString& program, const QStringList& args) {
    modem.start(bin + QStringLiteral("/kolvane-modemsim"),
                {QStringLiteral("--tcp"), QStringLiteral("0")});
    if (!modem.waitForStarted() || !modem.waitForReadyRead(5000)) return false;
    const QByteArray ready = modem.readLine().trimmed();
    QFile ini(dir.filePath(QStringLiteral("Kolvane.ini")));
    if (!ini.open(QIODevice::WriteOnly)) return false;
    ini.write(QStringLiteral("[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%1\nInterval=5\n"
                             "SmtpPort=%2\nPop3Port=%3\n")
                  .arg(QString::fromLatin1(ready.mid(ready.lastIndexOf(':') + 1)))
                  .arg(freePort())
                  .arg(freePort())
                  .toUtf8());
    ini.close();
    gateway.setProcessChannelMode(QProcess::MergedChannels);
    gateway.start(bin + QLatin1Char('/') + program,
                  args + QStringList{QStringLiteral("--dir"), dir.path()});
    return gateway.waitForStarted();
  }

  ~Subject() {
    gateway.terminate();
    gateway.waitForFinished(20000);
    modem.terminate();
    modem.waitForFinished(5000);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // The floor: this program as a listener on the same Qt libraries, doing nothing else.
  if (argc > 1 && qstrcmp(argv[1], "--floor") == 0) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return app.exec();
  }
  const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const QString bin =
      argc > 2 ? QString::fromLocal8Bit(argv[2]) : QCoreApplication::applicationDirPath();

  std::vector<std::unique_ptr<Subject>> subjects;
  const std::pair<QString, QStringList> programs[] = {
      {QStringLiteral("kolvaned"), {}},
      {QStringLiteral("Kolvane"), {QStringLiteral("--headless")}}};
  for (const auto& [program, args] : programs) {
    auto s = std::make_unique<Subject>();
    s->name = (program + QLatin1Char(' ') + args.join(QLatin1Char(' '))).trimmed();
    if (!s->start(bin, program, args)) {
      std::fprintf(stderr, "cannot start %s beside kolvane-modemsim\n", qPrintable(s->name));
      return 1;
    }
    subjects.push_back(std::move(s));
  }
  for (auto& s : subjects) {
    if (!waitForLine(s->gateway, "GSM Gate disconnected", 60000)) {
      std::fprintf(stderr, "%s: the first relation did not end\n", qPrintable(s->name));
      return 1;
    }
  }
  QProcess floor;
  floor.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--floor")});
  floor.waitForStarted();
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));

  std::printf("idle between relations beside kolvane-modemsim over TCP, %d s after the first:\n",
              idleSeconds);
  for (auto& s : subjects) {
    s->gateway.readAll();
    const qint64 pid = s->gateway.processId();
    const QMap<QString, long> mappings = residentByMapping(pid);
    const QStringList libs = libraries(mappings);
    const QStringList desktop = desktopLibraries(libs);
    const long rss = statusKb(pid, "VmRSS:");
    std::printf(
        "  %-20s resident %5.1f MB (anonymous %.1f, files %.1f; proportional %.1f), "
        "%lld libraries, desktop: %s%s\n",
        qPrintable(s->name), rss / 1024.0, statusKb(pid, "RssAnon:") / 1024.0,
        statusKb(pid, "RssFile:") / 1024.0, pssKb(pid) / 1024.0,
        static_cast<long long>(libs.size()),
        desktop.isEmpty() ? "none" : qPrintable(desktop.join(QLatin1Char(' '))),
        s.get() == subjects.front().get()
            ? qPrintable(QStringLiteral("; target %1 MB").arg(kTargetMb))
            : "");
  }

  const QMap<QString, long> bare = residentByMapping(floor.processId());
  std::printf(
      "  %-20s resident %5.1f MB (anonymous %.1f, files %.1f), %lld libraries: the "
      "floor of a Qt Core and Network listener here\n",
      "Qt alone", statusKb(floor.processId(), "VmRSS:") / 1024.0,
      statusKb(floor.processId(), "RssAnon:") / 1024.0,
      statusKb(floor.processId(), "RssFile:") / 1024.0,
      static_cast<long long>(libraries(bare).size()));
  floor.kill();
  floor.waitForFinished(5000);

  // What takes the service program's memory, the largest first.
  const QMap<QString, long> mappings = residentByMapping(subjects.front()->gateway.processId());
  std::vector<std::pair<long, QString>> largest;
  for (auto it = mappings.begin(); it != mappings.end(); ++it) {
    largest.emplace_back(it.value(), it.key().section(QLatin1Char('/'), -1));
  }
  std::sort(largest.rbegin(), largest.rend());
  std::printf("kolvaned's resident memory by mapping:\n");
  for (std::size_t i = 0; i < std::min<std::size_t>(12, largest.size()); ++i) {
    std::printf("  %7.2f MB  %s\n", largest[i].first / 1024.0, qPrintable(largest[i].second));
  }
  return 0;
}
