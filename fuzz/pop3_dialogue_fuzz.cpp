// Whatever clients send to the POP3 server, several sessions side by side, against a store of
// a few messages. The first run writes the store; later runs read it. An odd first byte sets
// an account, so USER and PASS are checked.
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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
  fg.accounts(size > 0 && (data[0] & 1) != 0);
  // Three sessions side by side, two of them of one PC.
  constexpr int kSessions = 3;
  std::vector<std::unique_ptr<kolvane::Pop3ServerState>> servers;
  std::vector<std::unique_ptr<kolvane::Pop3Dialogue>> dialogues;
  for (int i = 0; i < kSessions; ++i) {
    servers.push_back(std::make_unique<kolvane::Pop3ServerState>());
    dialogues.push_back(std::make_unique<kolvane::Pop3Dialogue>(fg.g(), *servers.back()));
    dialogues.back()->start(i == 2 ? QStringLiteral("127.0.0.2") : QStringLiteral("127.0.0.1"));
  }
  kolvane::fuzz::FuzzGateway::interleaved(
      QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), kSessions,
      [&](int i, const QByteArray& chunk) { dialogues[i]->AddRecvBytes(chunk); });
  return 0;
}
