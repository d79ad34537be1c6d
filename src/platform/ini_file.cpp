#include "platform/ini_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdio>

#include "platform/exclusive_file.h"
#include "platform/file_lock.h"
#include "platform/private_files.h"

namespace kolvane {

namespace {

IniText decode(const QByteArray& bytes, IniFile::Encoding encoding) {
  if (encoding == IniFile::Encoding::Utf16Le) {
    QByteArray body = bytes;
    if (body.startsWith("\xFF\xFE")) body.remove(0, 2);
    auto decoder = QStringDecoder(QStringDecoder::Utf16LE);
    return IniText::parse(decoder.decode(body));
  }
  if (looksBinary(bytes)) return {};
  return IniText::parseBytes(bytes);
}

QByteArray encode(const IniText& ini, IniFile::Encoding encoding) {
  if (encoding == IniFile::Encoding::Utf16Le) {
    auto encoder = QStringEncoder(QStringEncoder::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encoder.encode(ini.toString()));
  }
  return ini.toBytes();
}

// The folder's descriptor, locked for one read-modify-write of a file in it.
class FolderLock {
 public:
  explicit FolderLock(const QString& file)
      : dir_(::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
        lock_(dir_.fd, FileLock::Exclusive) {}
  bool held() const { return lock_.held(); }
  // The rename of a file in the folder reaches the disk too.
  void sync() const { ::fsync(dir_.fd); }

 private:
  struct Descriptor {
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
      if (fd >= 0) ::close(fd);
    }
    int fd;
  };
  Descriptor dir_;  // declared first: closed after the lock is released
  FileLock lock_;
};

// The bytes on disk under a temporary name, then renamed over the file.
bool replaceFile(const QString& path, const QByteArray& bytes) {
  const QString temp = path + QStringLiteral(".tmp");
  QFile out(temp);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate, kPrivateFile)) {
    return false;
  }
  const bool written = out.write(bytes) == bytes.size() && SyncToDisk(out);
  out.close();
  if (!written ||
      std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
    QFile::remove(temp);
    return false;
  }
  return true;
}

}  // namespace

bool looksBinary(const QByteArray& bytes) {
  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") || bytes.contains('\0')) {
    return true;
  }
  const auto controls = std::count_if(bytes.begin(), bytes.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b < 32 && b != '\t' && b != '\r' && b != '\n' && b != '\f' && b != 0x1A) || b == 127;
  });
  // A stray control byte in a hand-edited file is text; a file full of them is not.
  return controls * 20 > bytes.size();
}

IniFile::IniFile(QString path, Encoding encoding) : path_(std::move(path)), encoding_(encoding) {}

bool IniFile::exists() const {
  return QFileInfo::exists(path_);
}

bool IniFile::writable() const {
  const QFileInfo info(path_);
  if (!info.exists()) return QFileInfo(info.absolutePath()).isWritable();
  // The mode bits count even for a user whom the system would let write (root).
  constexpr auto kWrite =
      QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
  return (info.permissions() & kWrite).toInt() != 0 &&
         ::access(QFile::encodeName(path_).constData(), W_OK) == 0;
}

void IniFile::noticeIfReadOnly() {
  if (readOnlyReported_ || !exists() || writable()) return;
  readOnlyReported_ = true;
  if (readOnlyNotice_) readOnlyNotice_();
}

bool IniFile::unreadable() const {
  if (encoding_ != Encoding::Utf8) return false;
  QFile file(path_);
  if (!file.exists()) return false;
  if (!file.open(QIODevice::ReadOnly)) return true;
  return looksBinary(file.readAll());
}

IniText IniFile::read() const {
  // A writer replaces the file by renaming, so a reader always sees one whole version.
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return decode(file.readAll(), encoding_);
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const {
  return read().value(section, key, fallback);
}

bool IniFile::update(const std::function<void(IniText&)>& edit) {
  const QString name = QFileInfo(path_).fileName();
  const auto fail = [&](const QString& why) {
    if (failureLog_) failureLog_(QStringLiteral("!!! ") + name + QStringLiteral(" - ") + why);
    return false;
  };
  if (exists() && !writable()) {
    noticeIfReadOnly();
    return false;
  }
  const FolderLock lock(path_);
  if (!lock.held()) return fail(QStringLiteral("folder lock failed, not saved !!!"));
  QByteArray before;
  QFile file(path_);
  // A file made read-only is the administrator's word, as on Windows, even where the folder
  // would let the rename replace it.
  constexpr auto kAnyWrite =
      QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
  if (file.exists() && !(file.permissions() & kAnyWrite))
    return fail(QStringLiteral("read-only, not saved !!!"));
  if (file.exists()) {
    if (!file.open(QIODevice::ReadOnly)) return fail(QStringLiteral("read failed, not saved !!!"));
    before = file.readAll();
    file.close();
    if (encoding_ == Encoding::Utf8 && looksBinary(before)) {
      if (binaryReported_) return false;
      binaryReported_ = true;
      return fail(QStringLiteral("no INI text, left unchanged !!!"));
    }
  }
  IniText ini = decode(before, encoding_);
  edit(ini);
  const QByteArray after = encode(ini, encoding_);
  if (after == before) return true;
  if (!replaceFile(path_, after)) return fail(QStringLiteral("write failed, old file kept !!!"));
  lock.sync();
  return true;
}

bool IniFile::setValue(const QString& section, const QString& key, const QString& value) {
  return update([&](IniText& ini) { ini.setValue(section, key, value); });
}

bool IniFile::removeKey(const QString& section, const QString& key) {
  return update([&](IniText& ini) { ini.removeKey(section, key); });
}

bool IniFile::eraseSection(const QString& section) {
  return update([&](IniText& ini) { ini.eraseSection(section); });
}

}  // namespace kolvane
