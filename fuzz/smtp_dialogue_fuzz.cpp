// Whatever a client sends to the SMTP server: the line reader, then the dialogue, and the
// mail conversion of anything that gets past DATA.
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"
#include "mail/mail_recv.h"
#include "mail/smtp_line_reader.h"
#include "mail/smtp_server_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& fg = kolvane::fuzz::FuzzGateway::instance();
  kolvane::SmtpServerState server;
  kolvane::TMailRecv dialogue(fg.g(), server);
  kolvane::SmtpLineReader reader;
  dialogue.StartInitX(QStringLiteral("127.0.0.1"));
  reader.feed(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
              [&dialogue](const QByteArray& line) { dialogue.AddRecvStr(line); });
  QCoreApplication::processEvents();
  for (const char* store : {"Smtp.Tmp", "SmtpPriH.Tmp", "SmtpWait.Tmp", "Pop3.Tmp"}) fg.reset(store);
  return 0;
}
