// The content of one mail after a valid envelope: headers, MIME parts, encodings, charsets.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray mail(
      "HELO pc\r\nMAIL FROM:<a@pc.lan>\r\nRCPT TO:<+420600111222@kolvane.lan>\r\nDATA\r\n");
  mail += QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
  mail += "\r\n.\r\nQUIT\r\n";
  kolvane::fuzz::FuzzGateway::instance().smtpSession(mail);
  return 0;
}
