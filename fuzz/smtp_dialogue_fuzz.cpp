// Whatever a client sends to the SMTP server: the line reader, then the dialogue, and the
// mail conversion of anything that gets past DATA.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kolvane::fuzz::FuzzGateway::instance().smtpSession(
      QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  return 0;
}
