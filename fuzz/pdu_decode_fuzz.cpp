// SMS PDUs as a modem lists them: any hex text, any length.
#include <cstddef>
#include <cstdint>

#include "gsm/pdu_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArrayView pdu(reinterpret_cast<const char*>(data), qsizetype(size));
  kolvane::DecodePdu(pdu, "CMGL: 1,1,,40", QStringLiteral("PDU error"), {});
  return 0;
}
