// Whatever clients send to the SMTP server, several connections side by side: each its line
// reader, then its dialogue, and the mail conversion of anything that gets past DATA.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kolvane::fuzz::FuzzGateway::instance().smtpSessions(
      QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  return 0;
}
