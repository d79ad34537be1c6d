#include "modemsim/stored_sms.h"

namespace kolvane::modemsim {

bool concatInfo(const QByteArray& header, ConcatInfo* info) {
  for (qsizetype i = 0; i + 1 < header.size();) {
    const int iei = static_cast<unsigned char>(header[i]);
    const int len = static_cast<unsigned char>(header[i + 1]);
    const auto at = [&](int k) { return static_cast<unsigned char>(header[i + 2 + k]); };
    if (i + 2 + len > header.size()) return false;
    if (iei == 0x00 && len == 3) {
      *info = {at(0), at(1), at(2)};
      return true;
    }
    if (iei == 0x08 && len == 4) {
      *info = {at(0) << 8 | at(1), at(2), at(3)};
      return true;
    }
    i += 2 + len;
  }
  return false;
}

}  // namespace kolvane::modemsim
