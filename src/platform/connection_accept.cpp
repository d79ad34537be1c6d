#include "platform/connection_accept.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kolvane {

AcceptedConnection AcceptWaiting(qintptr listening) {
  for (;;) {
    const int fd =
        ::accept4(static_cast<int>(listening), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) return {fd, false, {}};
    switch (errno) {
      case EINTR:
      case ECONNABORTED:  // gone before it was taken: the next one may be fine
        continue;
      case EMFILE:
      case ENFILE:
      case ENOBUFS:
      case ENOMEM:
        return {-1, true, qt_error_string(errno)};
      default:  // none waiting
        return {};
    }
  }
}

qintptr DescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1 << 20;
  return static_cast<qintptr>(limit.rlim_cur);
}

void CloseDescriptor(qintptr descriptor) {
  if (descriptor >= 0) ::close(static_cast<int>(descriptor));
}

}  // namespace kolvane
