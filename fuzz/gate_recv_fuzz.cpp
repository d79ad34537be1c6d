// Bytes from an ISDN/LAN gateway device, taken one at a time as the receive pass does: the
// frame reader, the checks and whatever a sound frame makes the gateway do.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"
#include "gate/gate_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& fg = kolvane::fuzz::FuzzGateway::instance();
  kolvane::Gateway& g = fg.g();
  kolvane::LinkState& link = g.link();
  kolvane::GateStart(g);
  for (std::size_t i = 0; i < size; ++i) {
    link.GsmRecvStr += static_cast<char>(data[i]);
    kolvane::GateRecv(g);
  }
  link.GsmRecvStr.clear();
  link.GateSendStr.clear();
  for (const char* store : {"Pop3.Tmp", "Smtp.Tmp", "SmtpWait.Tmp"}) fg.reset(store);
  return 0;
}
