#include "settings/language_export.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include "settings/language.h"
#include "settings/language_file.h"

namespace kolvane {

namespace {

const QString kCr = QStringLiteral("\r");

QString title() {
  return QStringLiteral("Kolvane");
}

void report(const std::function<void(const QString&, const QString&)>& box, const QString& text) {
  if (box) box(title(), text);
}

}  // namespace

QString exportPath(const Language& language) {
  return QDir(language.programFolder()).filePath(language.name() + QStringLiteral(".ini"));
}

bool exportLanguage(const Language& language, const LanguageDialogs& dialogs) {
  const QString path = exportPath(language);
  if (QFile::exists(path)) {
    const QString question = language.Text(99) + kCr + path + kCr + language.Text(100);
    if (!dialogs.confirmOverwrite || !dialogs.confirmOverwrite(title(), question)) return false;
    QFile::remove(path);
  }

  // Unbuffered, so that every write reports what really reached the file.
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
    report(dialogs.error, language.Text(101) + kCr + path);
    return false;
  }
  // Byte-order mark and an empty first line.
  static const QByteArray head = QByteArray::fromHex("FFFE0D000A00");
  if (file.write(head) != head.size()) {
    report(dialogs.error, language.Text(103) + kCr + path + kCr + language.Text(100));
    return false;
  }
  QStringEncoder encode(QStringConverter::Utf16LE);
  const QByteArray body = encode(buildExport(language).toString());
  if (file.write(body) != body.size() || !file.flush()) {
    report(dialogs.error, language.Text(102) + kCr + path);
    return false;
  }
  file.close();
  return true;
}

bool setLanguageAndExport(Language& language, const QString& buttonName,
                          const LanguageDialogs& dialogs) {
  language.setLanguage(buttonName);
  if (!exportLanguage(language, dialogs)) return false;
  const QString stem = QDir(language.programFolder()).filePath(language.name());
  report(dialogs.info, language.Text(97, {stem}) + kCr + language.Text(98));
  return true;
}

}  // namespace kolvane
