// The modem's answer to the list command, in text mode or PDU mode (first byte).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_gateway.h"
#include "gsm/sms_list_reader.h"
#include "gsm/sms_list_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  auto& fg = kolvane::fuzz::FuzzGateway::instance();
  kolvane::Gateway& g = fg.g();
  g.state().cfg.PDUText = (data[0] & 1) != 0;
  const QByteArray answer(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  kolvane::ScanSmsList(g, answer, false);
  kolvane::ScanSmsList(g, answer, true);
  kolvane::FreeSMSArr(g.link());
  return 0;
}
