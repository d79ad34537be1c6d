// Whatever a client sends to the POP3 server, against a store of a few messages. The first
// run writes the store; later runs read it.
#include <QFile>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"
#include "mail/mail_rec.h"
#include "mail/pop3_dialogue.h"
#include "mail/pop3_server_state.h"

namespace {

void writeStore(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return;
  for (int i = 1; i <= 3; ++i) {
    kolvane::tMailRec rec;
    rec.PosID = "261209" + QByteArray::number(100000 + i);
    rec.NamePC = "*";
    rec.From = "<+420600111222@kolvane.lan>";
    rec.Toe = "<pc@kolvane.lan>";
    rec.Subj = "SMS " + QByteArray::number(i);
    rec.MimeBody = "Text of message " + QByteArray::number(i);
    f.write(kolvane::MailRecToStr(rec));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& fg = kolvane::fuzz::FuzzGateway::instance();
  static const bool stored = (writeStore(fg.path("Pop3.Tmp")), true);
  (void)stored;
  kolvane::Pop3ServerState server;
  kolvane::Pop3Dialogue dialogue(fg.g(), server);
  dialogue.start(QStringLiteral("127.0.0.1"));
  dialogue.AddRecvBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  return 0;
}
