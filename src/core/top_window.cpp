#include "core/top_window.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace kolvane {

namespace {

constexpr int kToolWaitMs = 3000;

QByteArray runTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(program, arguments);
  if (!process.waitForFinished(kToolWaitMs)) {
    process.kill();
    process.waitForFinished(kToolWaitMs);
    return {};
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
  return process.readAllStandardOutput();
}

}  // namespace

QStringList WmctrlTitles(const QByteArray& listing) {
  // "0x01e00003  0 host Title words": id, desktop, client host, then the title.
  static const QRegularExpression line(QStringLiteral("^\\S+\\s+\\S+\\s+\\S+ ?(.*)$"));
  QStringList titles;
  for (const QByteArray& raw : listing.split('\n')) {
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
    if (m.hasMatch()) titles << m.captured(1);
  }
  return titles;
}

QStringList XpropClientIds(const QByteArray& output) {
  static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
  QStringList ids;
  const QString text = QString::fromUtf8(output);
  const qsizetype hash = text.indexOf(QLatin1Char('#'));
  if (hash < 0) return ids;
  for (const QRegularExpressionMatch& m : id.globalMatch(text.mid(hash))) ids << m.captured();
  return ids;
}

QStringList XpropNames(const QByteArray& output) {
  QStringList names;
  for (const QByteArray& raw : output.split('\n')) {
    const QString line = QString::fromUtf8(raw);
    const qsizetype open = line.indexOf(QLatin1String("= \""));
    if (open < 0) continue;
    QString name;
    for (qsizetype i = open + 3; i < line.size(); ++i) {
      if (line[i] == QLatin1Char('\\') && i + 1 < line.size()) {
        name += line[++i];
      } else if (line[i] == QLatin1Char('"')) {
        break;
      } else {
        name += line[i];
      }
    }
    names << name;
  }
  return names;
}

bool TopLevelWindowExists(const QString& title) {
  if (title.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY")) return false;
  const QString wmctrl = QStandardPaths::findExecutable(QStringLiteral("wmctrl"));
  if (!wmctrl.isEmpty())
    return WmctrlTitles(runTool(wmctrl, {QStringLiteral("-l")})).contains(title);

  const QString xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
  if (xprop.isEmpty()) return false;
  const QStringList ids =
      XpropClientIds(runTool(xprop, {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")}));
  return std::any_of(ids.begin(), ids.end(), [&](const QString& id) {
    return XpropNames(runTool(xprop, {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_NAME"),
                                      QStringLiteral("WM_NAME")}))
        .contains(title);
  });
}

}  // namespace kolvane
