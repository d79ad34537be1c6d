#include "platform/display_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstring>

namespace kolvane {

namespace {

// An X server answers when the X protocol library connects to it (which also checks the
// authority); loaded at run time so the gateway does not link it.
bool xAnswers(const QByteArray& display) {
  void* lib = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!lib) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  const auto connect = reinterpret_cast<Connect>(::dlsym(lib, "xcb_connect"));
  const auto hasError = reinterpret_cast<HasError>(::dlsym(lib, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(lib, "xcb_disconnect"));
  bool ok = false;
  if (connect && hasError && disconnect) {
    void* c = connect(display.constData(), nullptr);
    ok = c && hasError(c) == 0;
    if (c) disconnect(c);
  }
  ::dlclose(lib);
  return ok;
}

// A Wayland compositor answers on its socket in the runtime folder (or at an absolute path).
bool waylandAnswers(const QString& name) {
  const QString path = QDir::isAbsolutePath(name)
                           ? name
                           : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + name;
  const QByteArray p = QFile::encodeName(path);
  sockaddr_un addr{};
  if (p.size() >= static_cast<qsizetype>(sizeof addr.sun_path)) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, p.constData(), static_cast<std::size_t>(p.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

DisplayProbe probeDisplay() {
  const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
  const bool x11Only = platform.startsWith(QLatin1String("xcb"));
  const bool waylandOnly = platform.startsWith(QLatin1String("wayland"));
  // Another platform (offscreen, a framebuffer) was chosen on purpose.
  if (!platform.isEmpty() && !x11Only && !waylandOnly) return {true, {}};
  const QString x = qEnvironmentVariable("DISPLAY");
  const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (x.isEmpty() && wayland.isEmpty()) return {};
  if (!x.isEmpty() && !waylandOnly && xAnswers(x.toLocal8Bit())) return {true, {}};
  if (!wayland.isEmpty() && !x11Only && waylandAnswers(wayland)) {
    // The windowing layer would try the X display first.
    if (platform.isEmpty()) qputenv("QT_QPA_PLATFORM", "wayland");
    return {true, {}};
  }
  const QString named =
      !x.isEmpty() ? QStringLiteral("DISPLAY=") + x : QStringLiteral("WAYLAND_DISPLAY=") + wayland;
  return {false, QStringLiteral("The display %1 does not answer").arg(named)};
}

}  // namespace kolvane
