#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

#include "gsm/log_line.h"

namespace kolvane {

// Octet of two upper-case hex digits. Anything else (lower case, other characters, fewer than
// two characters) raises `error`, which is never cleared here; lower-case digits still count.
std::uint8_t HexByte(QByteArrayView twoChars, bool& error);

// Service-centre time stamp (semi-octets YYMMDDhhmmss, time zone ignored) as
// "YY/MM/DD,hh:mm:ss"; empty for fewer than 12 characters.
QByteArray ScTimeStamp(QByteArrayView chars);

// A job as the SMS-SUBMIT PDU carries it. JobText holds GSM 7-bit codes.
struct SmsSubmitJob {
  QByteArray SmscNo;
  QByteArray JobTelNo;
  QByteArray JobText;
  std::uint8_t JobLoID = 0;
  std::uint8_t JobLoHi = 0;
  std::uint8_t JobLoNo = 0;
  bool statusReport = false;
};

// ReportSw on, and ReportAll on or the job's own Report flag.
constexpr bool StatusReportWanted(bool ReportSw, bool ReportAll, bool JobReport) {
  return ReportSw && (ReportAll || JobReport);
}

// Upper-case hex SMS-SUBMIT PDU, service-centre address included.
QByteArray EncodeSmsSubmit(const SmsSubmitJob& job);

struct DecodedPdu {
  QByteArray text;         // UTF-8, with the structure-error line in front when an octet was bad
  QByteArray header;       // the list header in the text-mode field layout
  std::uint16_t LoID = 0;  // 8- or 16-bit reference
  std::uint8_t LoHi = 0;
  std::uint8_t LoNo = 0;
  QString error;             // the last structure error recorded, empty when none
  QByteArray address;        // the sender (or recipient) as decoded; a name for an alphanumeric one
  int addressType = -1;      // its type-of-address octet, -1 when not reached
  bool undecodable = false;  // no message can be made of it (cut short, impossible lengths, ...)
};

// Decodes one listed SMS-DELIVER, SMS-STATUS-REPORT or stored SMS-SUBMIT. `header` is the
// "+CMGL" line without its "+"; `smsPduErrText` the catalogue line put in front of the text of
// a message with bad octets. Structure errors are logged as "PDU to Text Err : ...".
DecodedPdu DecodePdu(QByteArrayView pdu, QByteArrayView header, const QString& smsPduErrText,
                     const LogLineFn& log = {});

}  // namespace kolvane
