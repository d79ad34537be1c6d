#include "platform/dir_change_probe.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <utility>
#endif

namespace kolvane {

#ifdef Q_OS_LINUX

DirChangeProbe::DirChangeProbe(const QString& folder) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  const QByteArray path = QFile::encodeName(folder);
  constexpr std::uint32_t kEntryChanges =
      IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
  if (::inotify_add_watch(fd_, path.constData(), kEntryChanges | IN_ONLYDIR) < 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

DirChangeProbe::~DirChangeProbe() {
  if (fd_ >= 0) ::close(fd_);
}

bool DirChangeProbe::changed() {
  if (fd_ < 0) return true;
  bool any = std::exchange(first_, false);
  alignas(inotify_event) std::array<char, 4096> buf;
  for (;;) {
    const ssize_t n = ::read(fd_, buf.data(), buf.size());
    if (n <= 0) break;
    any = true;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buf.data() + at);
      // The folder itself went away or was moved: from now on nothing can be told.
      if (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
        ::close(fd_);
        fd_ = -1;
        return true;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  return any;
}

#else

DirChangeProbe::DirChangeProbe(const QString&) {}
DirChangeProbe::~DirChangeProbe() = default;
bool DirChangeProbe::changed() {
  return true;
}

#endif

}  // namespace kolvane
