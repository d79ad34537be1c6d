#include "pty_endpoint.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kolvane::modemsim {

PtyEndpoint::PtyEndpoint(QString link, QString label, QObject* parent)
    : Endpoint(parent), link_(std::move(link)), label_(std::move(label)) {}

PtyEndpoint::~PtyEndpoint() {
  closePty();
  if (QFileInfo(link_).isSymLink()) QFile::remove(link_);
}

bool PtyEndpoint::open(QString* error) {
  const auto fail = [&](const char* what) {
    *error = QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                          QString::fromLocal8Bit(std::strerror(errno)));
    closePty();
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("grantpt/unlockpt");
  char name[128] = {};
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (keeper_ < 0) return fail("open slave");
  termios raw{};
  if (::tcgetattr(keeper_, &raw) != 0) return fail("tcgetattr");
  ::cfmakeraw(&raw);
  if (::tcsetattr(keeper_, TCSANOW, &raw) != 0) return fail("tcsetattr");
  if (::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) return fail("fcntl");

  const QFileInfo existing(link_);
  if (existing.isSymLink()) QFile::remove(link_);
  if (::symlink(name, QFile::encodeName(link_).constData()) != 0) return fail("symlink");

  notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &PtyEndpoint::readMaster);
  if (connectionPerOpen_) {
    // Our own descriptor is open already: every open seen from now on is another program's.
    opens_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens_ < 0 || ::inotify_add_watch(opens_, name, IN_OPEN) < 0) return fail("inotify");
    opensNotifier_ = std::make_unique<QSocketNotifier>(opens_, QSocketNotifier::Read);
    connect(opensNotifier_.get(), &QSocketNotifier::activated, this, &PtyEndpoint::readOpens);
  }
  Q_EMIT announced(label_ + QStringLiteral(" pty ") + QString::fromLocal8Bit(name));
  if (!connectionPerOpen_) Q_EMIT connected();
  return true;
}

void PtyEndpoint::readOpens() {
  alignas(inotify_event) char buffer[4096];
  bool opened = false;
  while (::read(opens_, buffer, sizeof buffer) > 0) opened = true;
  if (opened) Q_EMIT connected();
}

void PtyEndpoint::readMaster() {
  QByteArray bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, n);
  }
  if (!bytes.isEmpty()) Q_EMIT received(bytes);
}

void PtyEndpoint::write(const QByteArray& bytes) {
  qsizetype done = 0;
  while (master_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
    if (n <= 0) break;  // nobody reads the slave and its queue is full: the rest is lost
    done += n;
  }
}

void PtyEndpoint::drop() {
  closePty();
  QString error;
  if (!open(&error)) Q_EMIT announced(label_ + QStringLiteral(" pty failed: ") + error);
}

void PtyEndpoint::unplug() {
  closePty();
  if (QFileInfo(link_).isSymLink()) QFile::remove(link_);
}

void PtyEndpoint::replug() {
  if (master_ >= 0) return;
  QString error;
  if (!open(&error)) Q_EMIT announced(QStringLiteral("modemsim pty failed: ") + error);
}

void PtyEndpoint::closePty() {
  opensNotifier_.reset();
  if (opens_ >= 0) ::close(opens_);
  opens_ = -1;
  notifier_.reset();
  if (keeper_ >= 0) ::close(keeper_);
  if (master_ >= 0) ::close(master_);
  keeper_ = master_ = -1;
}

}  // namespace kolvane::modemsim
