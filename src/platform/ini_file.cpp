#include "platform/ini_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include "platform/file_lock.h"

namespace kolvane {

namespace {

QString decode(const QByteArray& bytes, IniFile::Encoding encoding) {
  if (encoding == IniFile::Encoding::Utf16Le) {
    QByteArray body = bytes;
    if (body.startsWith("\xFF\xFE")) body.remove(0, 2);
    auto decoder = QStringDecoder(QStringDecoder::Utf16LE);
    return decoder.decode(body);
  }
  QByteArray body = bytes;
  if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
  return QString::fromUtf8(body);
}

QByteArray encode(const QString& text, IniFile::Encoding encoding) {
  if (encoding == IniFile::Encoding::Utf16Le) {
    auto encoder = QStringEncoder(QStringEncoder::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encoder.encode(text));
  }
  return text.toUtf8();
}

}  // namespace

IniFile::IniFile(QString path, Encoding encoding) : path_(std::move(path)), encoding_(encoding) {}

bool IniFile::exists() const { return QFileInfo::exists(path_); }

IniText IniFile::read() const {
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const FileLock lock(file.handle(), FileLock::Shared);
  return IniText::parse(decode(file.readAll(), encoding_));
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const {
  return read().value(section, key, fallback);
}

bool IniFile::update(const std::function<void(IniText&)>& edit) {
  QFile file(path_);
  if (!file.open(QIODevice::ReadWrite)) return false;
  const FileLock lock(file.handle(), FileLock::Exclusive);
  const QByteArray before = file.readAll();
  IniText ini = IniText::parse(decode(before, encoding_));
  edit(ini);
  const QByteArray after = encode(ini.toString(), encoding_);
  if (after == before) return true;
  // Rewritten in place (not replaced) so the lock other processes wait on stays valid.
  if (!file.seek(0) || file.write(after) != after.size()) return false;
  return file.resize(after.size()) && file.flush();
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
