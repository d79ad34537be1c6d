#include <algorithm>

#include "gsm/pdu_codec.h"
#include "gsm/pdu_fields.h"

namespace kolvane {

namespace {

// An address field holds at most 20 digits; a longer number cannot be addressed at all.
constexpr qsizetype kMaxAddressDigits = 20;

struct Address {
  QByteArray type;
  QByteArray digits;  // empty when the number is not usable
};

Address ParseAddress(QByteArrayView number) {
  Address a{"81", {}};
  if (number.startsWith('+')) {
    a.type = "91";
    number = number.sliced(1);
  } else if (number.startsWith("00")) {
    a.type = "91";
    number = number.sliced(2);
  }
  const bool digitsOnly =
      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digitsOnly && number.size() <= kMaxAddressDigits) a.digits = number.toByteArray();
  return a;
}

QByteArray ServiceCentre(QByteArrayView number) {
  const Address a = ParseAddress(number);
  if (a.digits.isEmpty()) return "00";
  const QByteArray semi = SwapSemiOctets(a.digits, true);
  return HexOctet(int((2 + semi.size()) / 2)) + a.type + semi;
}

QByteArray Destination(QByteArrayView number) {
  const Address a = ParseAddress(number);
  if (a.digits.isEmpty()) return "00";
  return HexOctet(int(a.digits.size())) + a.type + SwapSemiOctets(a.digits, true);
}

// Septets packed 8 into 7 octets, character k at bit 7·k of a little-endian bit string.
QByteArray Pack7Bit(QByteArrayView septets) {
  QByteArray hex;
  unsigned bits = 0;
  int held = 0;
  for (char c : septets) {
    bits |= (static_cast<unsigned>(c) & 0x7F) << held;
    held += 7;
    while (held >= 8) {
      hex += HexOctet(int(bits & 0xFF));
      bits >>= 8;
      held -= 8;
    }
  }
  if (held > 0) hex += HexOctet(int(bits & 0xFF));
  return hex;
}

}  // namespace

QByteArray EncodeSmsSubmit(const SmsSubmitJob& job) {
  const bool concatenated = job.JobLoHi >= 2 && job.JobLoNo <= job.JobLoHi;
  int firstOctet = 0x11;
  if (job.statusReport) firstOctet |= 0x20;
  if (concatenated) firstOctet |= 0x40;

  QByteArray septets = job.JobText.left(concatenated ? 153 : 160);
  // Seven zero septets hold the 6-octet header and the fill bit that aligns the text.
  if (concatenated) septets.prepend(7, '\0');
  QByteArray userData = Pack7Bit(septets);
  if (concatenated)
    userData.replace(
        0, 12, "050003" + HexOctet(job.JobLoID) + HexOctet(job.JobLoHi) + HexOctet(job.JobLoNo));

  return ServiceCentre(job.SmscNo) + HexOctet(firstOctet) + "00" + Destination(job.JobTelNo) +
         "00" + "00" + "AA" + HexOctet(int(septets.size())) + userData;
}

}  // namespace kolvane
