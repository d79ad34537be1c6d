#include "modemsim/submit_pdu.h"

#include <algorithm>

#include "modemsim/gsm7.h"
#include "modemsim/hex_text.h"

namespace kolvane::modemsim {
namespace {

// Reads octets front to back; running past the end sets the failure once.
class OctetReader {
 public:
  explicit OctetReader(QByteArray octets) : octets_(std::move(octets)) {}
  int next() {
    if (pos_ >= octets_.size()) {
      failed_ = true;
      return 0;
    }
    return static_cast<unsigned char>(octets_[pos_++]);
  }
  QByteArray take(qsizetype n) {
    if (n < 0 || pos_ + n > octets_.size()) {
      failed_ = true;
      pos_ = octets_.size();
      return {};
    }
    const QByteArray out = octets_.mid(pos_, n);
    pos_ += n;
    return out;
  }
  qsizetype remaining() const { return octets_.size() - pos_; }
  bool failed() const { return failed_; }

 private:
  QByteArray octets_;
  qsizetype pos_ = 0;
  bool failed_ = false;
};

QString semiOctetDigits(const QByteArray& octets, int count) {
  QString out;
  for (const char c : octets) {
    for (const int nibble : {c & 0x0F, (c >> 4) & 0x0F}) {
      if (out.size() >= count) break;
      out.append(nibble < 10 ? QChar(u'0' + nibble) : QChar(u"*#abc"[std::min(nibble - 10, 4)]));
    }
  }
  return out;
}

}  // namespace

std::optional<Coding> codingOfScheme(int dcs) {
  const int group = dcs >> 4;
  if (group <= 0x7) {
    if (dcs & 0x20) return std::nullopt;  // compressed
    switch ((dcs >> 2) & 3) {
      case 0:
        return Coding::Gsm7;
      case 1:
        return Coding::Data8;
      case 2:
        return Coding::Ucs2;
      default:
        return std::nullopt;
    }
  }
  if (group == 0xC || group == 0xD) return Coding::Gsm7;
  if (group == 0xE) return Coding::Ucs2;
  if (group == 0xF) return (dcs & 0x04) ? Coding::Data8 : Coding::Gsm7;
  return std::nullopt;
}

std::optional<SubmitInfo> decodeSubmit(const QByteArray& hex, int tpduLength, QString* error) {
  const auto fail = [error](const QString& why) -> std::optional<SubmitInfo> {
    if (error) *error = why;
    return std::nullopt;
  };
  const std::optional<QByteArray> octets = octetsOfHex(hex);
  if (!octets) return fail(QStringLiteral("not hexadecimal"));
  OctetReader in(*octets);
  in.take(in.next());  // service-centre field
  if (in.failed()) return fail(QStringLiteral("service-centre field cut short"));
  if (in.remaining() != tpduLength)
    return fail(QStringLiteral("%1 octets after the service centre, %2 announced")
                    .arg(in.remaining())
                    .arg(tpduLength));

  SubmitInfo sms;
  const int firstOctet = in.next();
  if ((firstOctet & 0x03) != 0x01) return fail(QStringLiteral("not an SMS-SUBMIT"));
  sms.statusReport = firstOctet & 0x20;
  const bool hasHeader = firstOctet & 0x40;
  in.next();  // message reference: the modem assigns its own

  const int digits = in.next();
  const int type = in.next();
  const QByteArray address = in.take((digits + 1) / 2);
  if ((type & 0x70) == 0x50)
    sms.number = gsm7::toText(gsm7::unpack(address, digits * 4 / 7));
  else
    sms.number =
        (type == 0x91 ? QStringLiteral("+") : QString()) + semiOctetDigits(address, digits);

  in.next();  // protocol identifier
  sms.dcs = in.next();
  switch ((firstOctet >> 3) & 3) {
    case 2:
      in.next();
      break;
    case 1:
    case 3:
      in.take(7);
      break;
    default:
      break;
  }
  const int udl = in.next();
  if (in.failed()) return fail(QStringLiteral("PDU cut short before the user data"));
  const std::optional<Coding> coding = codingOfScheme(sms.dcs);
  if (!coding) return fail(QStringLiteral("unsupported data coding scheme %1").arg(sms.dcs));
  sms.coding = *coding;

  const qsizetype udOctets = sms.coding == Coding::Gsm7 ? (udl * 7 + 7) / 8 : udl;
  if (in.remaining() != udOctets)
    return fail(QStringLiteral("user data of %1 octets, length %2 needs %3")
                    .arg(in.remaining())
                    .arg(udl)
                    .arg(udOctets));
  const QByteArray ud = in.take(udOctets);
  qsizetype headerOctets = 0;
  if (hasHeader && !ud.isEmpty()) {
    headerOctets = static_cast<unsigned char>(ud[0]) + 1;
    if (headerOctets > ud.size()) return fail(QStringLiteral("user-data header too long"));
    concatInfo(ud.mid(1, headerOctets - 1), &sms.concat);
  }
  switch (sms.coding) {
    case Coding::Gsm7: {
      const int skip = int((headerOctets * 8 + 6) / 7);
      sms.text = gsm7::toText(gsm7::unpack(ud, udl).mid(skip));
      break;
    }
    case Coding::Ucs2:
      sms.text = textOfUtf16Be(ud.mid(headerOctets));
      break;
    default:
      sms.text = QString::fromLatin1(ud.mid(headerOctets));
      break;
  }
  return sms;
}

}  // namespace kolvane::modemsim
