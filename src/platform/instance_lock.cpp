#include "platform/instance_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace kolvane {

namespace {
QString lockFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
}
}  // namespace

InstanceLock::InstanceLock(const QString& programDir) {
  QString canonical = QFileInfo(programDir).canonicalFilePath();
  if (canonical.isEmpty()) canonical = QFileInfo(programDir).absoluteFilePath();
  const QByteArray hash =
      QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  path_ = lockFolder() + QStringLiteral("/kolvane-") + QString::fromLatin1(hash) +
          QStringLiteral(".lock");
  file_.setFileName(path_);
}

bool InstanceLock::tryAcquire() {
  if (lock_) return true;
  if (!file_.isOpen() && !file_.open(QIODevice::ReadWrite)) return false;
  FileLock lock = FileLock::tryLock(file_.handle(), FileLock::Exclusive);
  if (!lock.held()) {
    file_.close();
    return false;
  }
  lock_.emplace(std::move(lock));
  return true;
}

}  // namespace kolvane
