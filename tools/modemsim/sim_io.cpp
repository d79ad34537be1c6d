#include "modemsim/sim_io.h"

#include <sys/signalfd.h>
#include <QFile>
#include <csignal>

namespace kolvane::modemsim {

void printLine(std::FILE* stream, const QString& line) {
  std::fputs((line + u'\n').toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

QString shownBytes(const QByteArray& bytes) {
  QString shown;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    shown += u < 32 || u >= 127 ? QStringLiteral("<%1>").arg(u) : QString(QChar(u));
  }
  return shown;
}

void appendRecordLines(const QString& path, const QByteArray& lines, const char* simulator) {
  if (path.isEmpty() || lines.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::Append) || file.write(lines) != lines.size())
    printLine(stderr, QString::fromLatin1(simulator) + QStringLiteral(": cannot write ") + path);
}

QCommandLineOption valueOption(const char* name, const char* help, const char* valueName) {
  return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help),
                            QString::fromLatin1(valueName));
}

QCommandLineOption flagOption(const char* name, const char* help) {
  return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help));
}

QList<QCommandLineOption> linkOptions() {
  return {
      flagOption("help", "Show this help."),
      valueOption("tcp", "Listen on 127.0.0.1:PORT (0 = a free port), one client at a time.",
                  "PORT"),
      valueOption("port", "Same as --tcp.", "PORT"),
      valueOption("pty", "Open a pseudo-terminal and point the symbolic link LINK at it.", "LINK"),
  };
}

int quitSignalFd() {
  sigset_t quitSignals;
  sigemptyset(&quitSignals);
  sigaddset(&quitSignals, SIGINT);
  sigaddset(&quitSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
  return signalfd(-1, &quitSignals, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace kolvane::modemsim
