// Whatever a modem answers during a relation: the line assembler and the automaton's reading of
// every answer, from the kick-off on. Each command the automaton sets is taken as the send pass
// takes it, so that the answers walk it through its states. The first byte picks the SMS mode.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"
#include "gsm/at_automaton.h"
#include "gsm/sms_list_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  auto& fg = kolvane::fuzz::FuzzGateway::instance();
  kolvane::Gateway& g = fg.g();
  kolvane::LinkState& link = g.link();
  g.state().cfg.PDUText = (data[0] & 1) != 0;
  kolvane::KickOffAT(g);
  for (std::size_t i = 1; i < size; ++i) {
    if (link.GsmSendOn) {
      link.GsmSendOn = false;
      kolvane::at::CommandWritten(g);
    }
    link.GsmRecvStr += static_cast<char>(data[i]);
    kolvane::RecvATcmd(g);
  }
  kolvane::ClearCommandInFlight(link);
  kolvane::FreeSMSArr(link);
  for (const char* store : {"Pop3.Tmp", "SmsParts.Tmp"}) fg.reset(store);
  return 0;
}
