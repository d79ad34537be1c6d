#include "core/waited_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <thread>
#include <vector>

#include "core/shell_open.h"

extern char** environ;

namespace kolvane {

namespace {

constexpr qsizetype kFirstLineMax = 1024;

std::int32_t startError(int error, const QString& program) {
  switch (error) {
    case ENOENT:
      return kRunFileNotFound;
    case ENOTDIR:
      return kRunPathNotFound;
    case EACCES:
    case EPERM:
      return kRunAccessDenied;
    default:
      return QFileInfo(program).isReadable() ? kRunBadFormat : kRunAccessDenied;
  }
}

// The program with its standard output on a pipe; input and errors go nowhere.
struct Spawned {
  pid_t pid = -1;
  int output = -1;
  int error = 0;
};

Spawned spawn(const QString& program, const QStringList& arguments) {
  Spawned s;
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    s.error = errno;
    return s;
  }
  std::vector<QByteArray> words{QFile::encodeName(program)};
  for (const QString& a : arguments) words.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // Nothing of the gateway (listening sockets, store files) outlives it in a program left
  // running.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // What the gateway ignores or blocks is no business of the program.
  sigset_t none, usual;
  sigemptyset(&none);
  sigemptyset(&usual);
  for (int sig : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2})
    sigaddset(&usual, sig);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &usual);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  s.error = posix_spawn(&s.pid, argv.front(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (s.error != 0) {
    close(pipeEnds[0]);
    s.pid = -1;
  } else {
    s.output = pipeEnds[0];
  }
  return s;
}

int statusOf(int wstatus) {
  if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
  return WIFSIGNALED(wstatus) ? 128 + WTERMSIG(wstatus) : -1;
}

// Keeps the first line of what the program writes and drops the rest.
struct FirstLine {
  QByteArray line;
  bool complete = false;

  void add(const char* data, qsizetype size) {
    if (complete) return;
    const qsizetype end = QByteArrayView(data, size).indexOf('\n');
    line.append(data, end < 0 ? size : end);
    if (end >= 0 || line.size() >= kFirstLineMax) {
      complete = true;
      line.truncate(kFirstLineMax);
    }
  }
};

// Reads what is there (the caller knows it will not block, or may block); false at the end of
// the output.
bool readSome(int fd, FirstLine* first) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      if (first) first->add(buffer, n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

// A program left running: its output is read to the end and it is reaped (pid -1: only the
// output is left).
void leaveRunning(pid_t pid, int output) {
  std::thread([pid, output] {
    if (output >= 0) {
      while (readSome(output, nullptr)) {
      }
      close(output);
    }
    int wstatus = 0;
    while (pid > 0 && waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

WaitedRun RunAndWait(const QString& commandLine, const QString& params, int waitMs,
                     const std::atomic<bool>& stop) {
  WaitedRun run;
  const ResolvedCommand command = ResolveCommand(commandLine, params);
  run.code = command.code;
  if (command.code <= 32) return run;
  Spawned s = spawn(command.program, command.arguments);
  if (s.pid < 0) {
    run.code = command.document ? kRunNoAssociation : startError(s.error, command.program);
    return run;
  }
  run.code = kRunStarted;

  FirstLine first;
  const QDeadlineTimer deadline(std::max(waitMs, 0));
  // Short slices, so that a closing gateway does not wait for its command.
  constexpr int kSliceMs = 50;
  for (;;) {
    if (s.output >= 0) {
      pollfd p{s.output, POLLIN, 0};
      const int slice = static_cast<int>(std::min<qint64>(kSliceMs, deadline.remainingTime()));
      if (poll(&p, 1, std::max(slice, 0)) > 0 && !readSome(s.output, &first)) {
        close(s.output);
        s.output = -1;
      }
    } else if (!deadline.hasExpired()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(
          std::min<qint64>(kSliceMs / 5, std::max<qint64>(deadline.remainingTime(), 0))));
    }
    int wstatus = 0;
    const pid_t done = waitpid(s.pid, &wstatus, WNOHANG);
    if (done == s.pid) {
      run.ended = true;
      run.exitStatus = statusOf(wstatus);
      // What it wrote before it ended is still in the pipe; a child it left behind may hold
      // the pipe and write on, which is read without waiting.
      while (s.output >= 0) {
        pollfd p{s.output, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) break;
        if (!readSome(s.output, &first)) {
          close(s.output);
          s.output = -1;
        }
      }
      if (s.output >= 0) leaveRunning(-1, s.output);
      break;
    }
    if (deadline.hasExpired() || stop.load()) {
      leaveRunning(s.pid, s.output);
      break;
    }
  }
  run.firstLine = first.line;
  if (run.firstLine.endsWith('\r')) run.firstLine.chop(1);
  return run;
}

}  // namespace kolvane
