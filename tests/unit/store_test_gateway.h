#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "core/gateway.h"
#include "mail/mail_rec.h"

namespace kolvane {

// A started gateway in a temporary folder with a manual clock, and file helpers for the stores.
class StoreTestGateway {
 public:
  explicit StoreTestGateway(const QDateTime& now = QDateTime(QDate(2026, 2, 1), QTime(10, 0)))
      : clock(5000, toDateTime(now)) {
    StartupOptions o;
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir.path();
    o.headless = true;
    gateway = std::make_unique<Gateway>(clock, o);
    started = gateway->InitX();
    logs();
  }

  Gateway& g() { return *gateway; }
  GatewayState& gs() { return gateway->state(); }
  QString path(const QString& name) const { return dir.filePath(name); }
  bool exists(const QString& name) const { return QFile::exists(path(name)); }

  QByteArray read(const QString& name) const {
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void write(const QString& name, const QByteArray& bytes) const {
    QFile f(path(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
  }
  void append(const QString& name, const QByteArray& bytes) const {
    QFile f(path(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Append)) f.write(bytes);
  }

  // The records of a store file, in order.
  QList<tMailRec> records(const QString& name) const {
    QList<tMailRec> out;
    const QByteArray data = read(name);
    for (qsizetype off = 0; off < data.size();) {
      const tMailRec rec = StrToMailRec(data.mid(off), {"Report", "SendTime", {}, clock.now()});
      if (rec.EndPos < 0) break;
      out << rec;
      off += rec.EndPos + 1;
    }
    return out;
  }

  // Log lines written since the last call, without their time stamps.
  QStringList logs() {
    QStringList lines;
    while (auto l = gateway->log().takePendingLine()) lines << l->mid(10);
    return lines;
  }

  // The lines of a traffic log, each without its date and time.
  QList<QByteArray> traffic(const QString& pattern) {
    QList<QByteArray> lines;
    for (const QByteArray& line :
         QByteArray(readAbsolute(gateway->traffic().pathFor(pattern))).split('\n')) {
      if (!line.isEmpty()) lines << line.mid(20).chopped(1);
    }
    return lines;
  }

  QTemporaryDir dir;
  ManualClock clock;
  std::unique_ptr<Gateway> gateway;
  bool started = false;

 private:
  static QByteArray readAbsolute(const QString& p) {
    QFile f(p);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
};

// A job record with the given fields.
inline tMailRec job(const QByteArray& id, const QByteArray& to, const QByteArray& body,
                    const QByteArray& subj = "test") {
  tMailRec r;
  r.PosID = id;
  r.NamePC = "pc1";
  r.From = "<a@b.c>";
  r.Toe = to;
  r.Subj = subj;
  r.MimeBody = body;
  return r;
}

}  // namespace kolvane
