// Time and memory of USER on a POP3 store of 10,000 records (or the count given as first
// argument): the list every record above the PC's position is rendered into.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

#include "core/gateway.h"
#include "mail/mail_rec.h"
#include "mail/pop3_dialogue_list.h"

namespace {

long residentKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  QTemporaryDir dir;
  kolvane::ManualClock clock(5000, kolvane::toDateTime(QDateTime(QDate(2026, 2, 1), QTime(10, 0))));
  kolvane::StartupOptions o;
  o.programFile = QCoreApplication::applicationFilePath();
  o.programDir = dir.path();
  o.headless = true;
  kolvane::Gateway g(clock, o);
  if (!g.InitX()) return 1;

  QFile store(dir.filePath(QStringLiteral("Pop3.Tmp")));
  if (!store.open(QIODevice::WriteOnly)) return 1;
  for (int i = 1; i <= count; ++i) {
    kolvane::tMailRec r;
    r.PosID = "260201" + QByteArray::number(i).rightJustified(6, '0');
    r.From = "<+420777" + QByteArray::number(100000 + i) + "@sms.example>";
    r.Toe = "<kolvane>";
    r.Subj = "SMS from phone No.: +420777" + QByteArray::number(100000 + i);
    r.MimeBody = "Text of message " + QByteArray::number(i) + " with a few words of content.";
    store.write(kolvane::MailRecToStr(r));
  }
  store.close();

  const long rssBefore = residentKb();
  const auto start = std::chrono::steady_clock::now();
  const kolvane::Pop3MsgListBuild built = kolvane::BuildPop3MsgList(g, QStringLiteral("pc1"));
  const auto ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  qsizetype bytes = 0;
  for (const kolvane::Pop3Message& m : built.Pop3MsgList) bytes += m.text.size();
  std::printf("USER on %d records: %zu offered, %.1f ms (target under 200 ms)\n", count,
              static_cast<size_t>(built.Pop3MsgList.size()), ms);
  std::printf("list %lld bytes of messages; resident memory grew by %ld kB\n",
              static_cast<long long>(bytes), residentKb() - rssBefore);
  return 0;
}
