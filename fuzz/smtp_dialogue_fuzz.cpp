// Whatever clients send to the SMTP server, several connections side by side: each its line
// reader, then its dialogue and its logins, and the mail conversion of anything that gets past
// DATA. An odd first byte sets an account.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& fg = kolvane::fuzz::FuzzGateway::instance();
  fg.accounts(size > 0 && (data[0] & 1) != 0);
  fg.smtpSessions(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  return 0;
}
