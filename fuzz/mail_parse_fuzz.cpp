// The content of one mail after a valid envelope: headers, MIME parts, encodings, charsets.
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
  QByteArray mail(
      "HELO pc\r\nMAIL FROM:<a@pc.lan>\r\nRCPT TO:<+420600111222@kolvane.lan>\r\nDATA\r\n");
  mail += QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
  mail += "\r\n.\r\nQUIT\r\n";
  reader.feed(mail, [&dialogue](const QByteArray& line) { dialogue.AddRecvStr(line); });
  QCoreApplication::processEvents();
  for (const char* store : {"Smtp.Tmp", "SmtpPriH.Tmp", "SmtpWait.Tmp", "Pop3.Tmp"}) fg.reset(store);
  return 0;
}
