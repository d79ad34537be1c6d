#include "platform/open_for_writing.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <csignal>

namespace kolvane {

std::optional<bool> OpenForWriting(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // A read lease is granted only while no one holds the file open for writing. It is given
  // back at once; a writer opening meanwhile would signal the break with SIGURG, which is
  // ignored unless caught, instead of SIGIO, which ends the process.
  std::optional<bool> result;
  if (::fcntl(fd, F_SETSIG, SIGURG) == 0) {
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
      ::fcntl(fd, F_SETLEASE, F_UNLCK);
      result = false;
    } else if (errno == EAGAIN) {
      result = true;
    }
  }
  ::close(fd);
  return result;
}

}  // namespace kolvane
