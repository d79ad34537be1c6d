#include <algorithm>
#include <optional>

#include "gsm/gsm_alphabet.h"
#include "gsm/pdu_codec.h"
#include "gsm/pdu_fields.h"
#include "gsm/sms_rec.h"
#include "gsm/ucs2.h"

namespace kolvane {

namespace {

enum class Kind { Deliver, Submit, StatusReport };

// Walks the hex digits of a PDU; reads past the end give short fields, never a fault.
class PduReader {
 public:
  explicit PduReader(QByteArrayView pdu) : pdu_(pdu) {}

  qsizetype remaining() const { return std::max<qsizetype>(0, pdu_.size() - pos_); }
  bool badOctet() const { return badOctet_; }

  std::uint8_t number() { return HexByte(take(2), badOctet_); }

  // Characters of fields that are not read as numbers (addresses, time stamps, skipped octets);
  // only characters that are no hex digit at all make the octet bad.
  QByteArrayView chars(qsizetype count) {
    const QByteArrayView v = take(count);
    if (!std::all_of(v.begin(), v.end(), IsHexChar)) badOctet_ = true;
    return v;
  }

  void skipOctets(qsizetype count) { chars(2 * count); }

 private:
  QByteArrayView take(qsizetype count) {
    const qsizetype start = std::min(pos_, pdu_.size());
    const QByteArrayView v = pdu_.sliced(start, std::min(count, remaining()));
    pos_ = start + count;
    return v;
  }

  QByteArrayView pdu_;
  qsizetype pos_ = 0;
  bool badOctet_ = false;
};

QByteArray DropTrailingNonDigits(QByteArray s) {
  while (!s.isEmpty() && (s.back() < '0' || s.back() > '9')) s.chop(1);
  return s;
}

// Septet k of the user data at bit 7·k of the little-endian bit string.
QByteArray Unpack7Bit(QByteArrayView octets, qsizetype count) {
  QByteArray septets;
  septets.reserve(count);
  for (qsizetype k = 0; k < count; ++k) {
    const qsizetype bit = 7 * k;
    unsigned v = static_cast<std::uint8_t>(octets[bit / 8]) >> (bit % 8);
    if (bit % 8 > 1 && bit / 8 + 1 < octets.size())
      v |= static_cast<unsigned>(static_cast<std::uint8_t>(octets[bit / 8 + 1])) << (8 - bit % 8);
    septets += static_cast<char>(v & 0x7F);
  }
  return septets;
}

// What the decoder found; empty fields where it stopped before them.
struct PduFields {
  QString error;  // the last one recorded
  QByteArray address;
  QByteArray time;
  QByteArray text;
  int fo = 0;
  int udl = -1;  // as listed: -1 unless the text was read as 7-bit or 8-bit data
  int addressType = -1;
  std::uint16_t loId = 0;
  std::uint8_t loHi = 0, loNo = 0;
  bool undecodable = false;
};

class PduDecoder {
 public:
  explicit PduDecoder(QByteArrayView pdu) : reader_(pdu), total_(pdu.size()) {}

  void run() {
    if (total_ < 2) return fatal(QStringLiteral("TotalLength = %1").arg(total_));
    if (!serviceCentre()) return;
    const auto kind = firstOctet();
    if (!kind) return;
    if (*kind != Kind::Deliver) reader_.skipOctets(1);  // message reference
    if (!sender()) return;
    if (*kind == Kind::StatusReport) return statusReport();

    reader_.skipOctets(1);  // protocol identifier
    const std::uint8_t dcs = reader_.number();
    if (*kind == Kind::Deliver) {
      if (reader_.remaining() < 14)
        return fatal(
            QStringLiteral("Time Length (14) > TotalLength (%1)").arg(reader_.remaining()));
      f_.time = ScTimeStamp(reader_.chars(14));
    } else {
      reader_.skipOctets(validityOctets());
    }
    userData(dcs, reader_.number());
  }

  const PduFields& fields() const { return f_; }
  bool badOctet() const { return reader_.badOctet(); }

 private:
  void record(const QString& e) { f_.error = e; }
  // An error after which no message can be made of the PDU.
  void fatal(const QString& e) {
    record(e);
    f_.undecodable = true;
  }

  QByteArray semiOctets(qsizetype digits) {
    const QByteArray swapped = SwapSemiOctets(reader_.chars(2 * ((digits + 1) / 2)), false);
    return DropTrailingNonDigits(swapped.left(digits));
  }

  // Prefix of a type-of-address octet, or none with the error named for the field.
  QByteArray typePrefix(std::uint8_t type, const QString& field) {
    if (type == 0x91) return "+";
    if (type != 0x81)
      record(QStringLiteral("Type of address %1 (%2)")
                 .arg(field, QString::fromLatin1(HexOctet(type))));
    return {};
  }

  bool serviceCentre() {
    const int n = reader_.number();
    if (n == 0) return true;
    if (reader_.remaining() < 2 * n) {
      fatal(QStringLiteral("SMSC Length * 2 (%1) > TotalLength (%2)")
                .arg(2 * n)
                .arg(reader_.remaining()));
      return false;
    }
    typePrefix(reader_.number(), QStringLiteral("SMSC"));
    semiOctets(2 * (n - 1));  // not used further
    return true;
  }

  // The message type indicator decides; the other flag bits (status-report indication, reply
  // path, more-messages) do not make a message unreadable.
  std::optional<Kind> firstOctet() {
    f_.fo = reader_.number();
    switch (f_.fo & 0x03) {
      case 0:
        return Kind::Deliver;
      case 1:
        return Kind::Submit;
      case 2:
        return Kind::StatusReport;
      default:
        fatal(QStringLiteral("First octet (%1)").arg(QString::fromLatin1(HexOctet(f_.fo))));
        return std::nullopt;
    }
  }

  bool sender() {
    const int digits = reader_.number();
    if (reader_.remaining() < digits + 2) {
      fatal(QStringLiteral("Sender No.Length (%1) > TotalLength (%2)")
                .arg(digits + 2)
                .arg(reader_.remaining()));
      return false;
    }
    const std::uint8_t type = reader_.number();
    f_.addressType = type;
    if (IsAlphanumericType(type)) {
      f_.address = alphanumeric(digits);
      return true;
    }
    f_.address = typePrefix(type, QStringLiteral("Sender No."));
    f_.address += semiOctets(digits);
    return true;
  }

  // `semiOctets` useful semi-octets of packed septets: a sender's name such as "InfoSMS".
  // Zero septets at the end are the padding of a length counted in whole octets.
  QByteArray alphanumeric(qsizetype semiOctets) {
    const QByteArray octets =
        QByteArray::fromHex(reader_.chars(2 * ((semiOctets + 1) / 2)).toByteArray());
    QByteArray septets = Unpack7Bit(octets, std::min(semiOctets * 4 / 7, octets.size() * 8 / 7));
    while (septets.endsWith('\0')) septets.chop(1);
    return GsmAlphabetToText(septets);
  }

  int validityOctets() const {
    switch ((f_.fo >> 3) & 0x03) {
      case 0:
        return 0;
      case 2:
        return 1;
      default:
        return 7;
    }
  }

  void statusReport() {
    const QByteArray sent = ScTimeStamp(reader_.chars(14));
    const QByteArray discharged = ScTimeStamp(reader_.chars(14));
    f_.time = sent;
    f_.text = "SMS-STATUS-REPORT  -  Sent : " + sent + "  -  ";
    // Status 0x20 and above: the message has not reached the recipient (yet).
    const std::optional<int> status =
        reader_.remaining() >= 2 ? std::optional<int>(reader_.number()) : std::nullopt;
    if (status && *status >= 0x20)
      f_.text += "Not delivered (status " + HexOctet(*status) + ") : " + discharged;
    else
      f_.text += "Received : " + discharged;
  }

  // Concatenation from the user-data header; returns the octets the header takes.
  qsizetype header(QByteArrayView ud) {
    if (!(f_.fo & 0x40) || ud.isEmpty()) return 0;
    const qsizetype end = std::min<qsizetype>(static_cast<std::uint8_t>(ud[0]) + 1, ud.size());
    for (qsizetype i = 1; i + 1 < end;) {
      const auto id = static_cast<std::uint8_t>(ud[i]);
      const qsizetype len = static_cast<std::uint8_t>(ud[i + 1]);
      const QByteArrayView ie = ud.sliced(i + 2, std::min(len, end - i - 2));
      if (ie.size() < len) break;
      // 8-bit or 16-bit reference, kept whole: parts of two messages must not meet.
      if ((id == 0x00 && len == 3) || (id == 0x08 && len == 4)) {
        f_.loId = static_cast<std::uint8_t>(ie[0]);
        if (len == 4)
          f_.loId = static_cast<std::uint16_t>(f_.loId << 8 | static_cast<std::uint8_t>(ie[1]));
        f_.loHi = static_cast<std::uint8_t>(ie[len - 2]);
        f_.loNo = static_cast<std::uint8_t>(ie[len - 1]);
      }
      i += 2 + len;
    }
    return end;
  }

  void userData(std::uint8_t dcs, int length) {
    if (length == 0) {
      f_.udl = 0;  // an empty message is listed as such, whatever its alphabet
      return;
    }
    const int alphabet = (dcs >> 2) & 0x03;
    if (alphabet == 3) return fatal(QStringLiteral("DCS - ?-bit alphabet"));
    if (length > (alphabet == 0 ? 160 : 140))
      return fatal(QStringLiteral("User data length (%1) impossible").arg(length));

    const qsizetype octets = alphabet == 0 ? (7 * length + 7) / 8 : length;
    if (reader_.remaining() < 2 * octets)
      fatal(QStringLiteral("Text Length (%1) > TotalLength (%2)")
                .arg(2 * octets)
                .arg(reader_.remaining()));
    QByteArray ud;
    for (qsizetype k = std::min(octets, reader_.remaining() / 2); k > 0; --k)
      ud += static_cast<char>(reader_.number());
    const qsizetype headerOctets = header(ud);

    if (alphabet == 2) {
      f_.text = Utf16UnitsToUtf8(TextOfUcs2Bytes(QByteArrayView(ud).sliced(headerOctets)));
      return;
    }
    f_.udl = length;
    if (alphabet == 1) {
      f_.text = GsmAlphabetToText(QByteArrayView(ud).sliced(headerOctets));
      return;
    }
    const qsizetype septets = std::min<qsizetype>(length, ud.size() * 8 / 7);
    const qsizetype skip = std::min((headerOctets * 8 + 6) / 7, septets);
    f_.text = GsmAlphabetToText(Unpack7Bit(ud, septets).sliced(skip));
  }

  PduReader reader_;
  qsizetype total_;
  PduFields f_;
};

QByteArray RewriteHeader(QByteArrayView header, const PduFields& f) {
  const qsizetype comma = header.indexOf(',');
  QByteArray out =
      (comma < 0 ? header : header.first(std::min(comma + 2, header.size()))).toByteArray();
  // A name may hold a quote or a comma; the header's fields must stay where they are.
  QByteArray address = f.address;
  address.replace('"', '\'').replace(',', ' ');
  out += ",\"" + address + "\",,\"" + f.time + "\"," + QByteArray::number(f.fo) + ',' +
         QByteArray::number(f.udl) + ",,";
  return out;
}

}  // namespace

DecodedPdu DecodePdu(QByteArrayView pdu, QByteArrayView header, const QString& smsPduErrText,
                     const LogLineFn& log) {
  PduDecoder d(pdu.trimmed());
  d.run();
  const PduFields& f = d.fields();

  DecodedPdu result;
  result.error = f.error;
  result.LoID = f.loId;
  result.LoHi = f.loHi;
  result.LoNo = f.loNo;
  result.text = f.text;
  result.address = f.address;
  result.addressType = f.addressType;
  result.undecodable = f.undecodable;
  if (!f.error.isEmpty() && log) log(QStringLiteral("PDU to Text Err : ") + f.error);
  if (d.badOctet()) result.text.prepend(smsPduErrText.toUtf8() + "\r\n");
  result.header = RewriteHeader(header, f);
  return result;
}

}  // namespace kolvane
