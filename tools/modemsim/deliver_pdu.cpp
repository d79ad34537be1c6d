#include "modemsim/deliver_pdu.h"

#include <algorithm>
#include <cstdlib>

#include "modemsim/gsm7.h"

namespace kolvane::modemsim {
namespace {

bool isDialNumber(const QString& number) {
  const QString digits = number.startsWith(u'+') ? number.mid(1) : number;
  if (digits.isEmpty() || digits.size() > 20) return false;
  return std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
}

QByteArray semiOctets(const QString& digits) {
  QByteArray out;
  for (qsizetype i = 0; i < digits.size(); i += 2) {
    const int low = digits[i].digitValue();
    const int high = i + 1 < digits.size() ? digits[i + 1].digitValue() : 0xF;
    out.append(static_cast<char>(high << 4 | low));
  }
  return out;
}

char bcdSwapped(int value) {
  return static_cast<char>((value % 10) << 4 | (value / 10 % 10));
}

}  // namespace

int addressType(const QString& number, bool name) {
  if (name || !isDialNumber(number)) return 208;
  return number.startsWith(u'+') ? 145 : 129;
}

QByteArray addressField(const QString& number, bool name) {
  const int type = addressType(number, name);
  QByteArray out;
  if (type == 208) {
    const QByteArray septets = gsm7::fromText(number.left(11));
    // The length counts the semi-octets that carry the name.
    out.append(static_cast<char>((septets.size() * 7 + 3) / 4)).append(static_cast<char>(type));
    return out + gsm7::pack(septets);
  }
  const QString digits = type == 145 ? number.mid(1) : number;
  out.append(static_cast<char>(digits.size())).append(static_cast<char>(type));
  return out + semiOctets(digits);
}

QByteArray serviceCentreField(const QString& number) {
  if (!isDialNumber(number)) return QByteArray(1, '\0');
  const QString digits = number.startsWith(u'+') ? number.mid(1) : number;
  const QByteArray value = semiOctets(digits);
  QByteArray out;
  out.append(static_cast<char>(value.size() + 1)).append(static_cast<char>(addressType(number)));
  return out + value;
}

QByteArray timeStampField(const QDateTime& time) {
  const QDate d = time.date();
  const QTime t = time.time();
  const int quarters = time.offsetFromUtc() / 900;
  QByteArray out;
  for (int v : {d.year() % 100, d.month(), d.day(), t.hour(), t.minute(), t.second()})
    out.append(bcdSwapped(v));
  char zone = bcdSwapped(std::abs(quarters));
  if (quarters < 0) zone = static_cast<char>(zone | 0x08);
  return out.append(zone);
}

QString timeStampText(const QDateTime& time) {
  const int quarters = time.offsetFromUtc() / 900;
  return time.toString(QStringLiteral("yy/MM/dd,HH:mm:ss")) + (quarters < 0 ? u'-' : u'+') +
         QString::number(std::abs(quarters)).rightJustified(2, u'0');
}

int dataCodingScheme(Coding coding) {
  switch (coding) {
    case Coding::Data8:
      return 0x04;
    case Coding::Ucs2:
      return 0x08;
    default:
      return 0x00;
  }
}

int userDataLength(const StoredSms& sms) {
  const qsizetype headerOctets = sms.header.isEmpty() ? 0 : sms.header.size() + 1;
  if (sms.coding == Coding::Gsm7) return int((headerOctets * 8 + 6) / 7 + sms.data.size());
  return int(headerOctets + sms.data.size());
}

QByteArray userData(const StoredSms& sms) {
  QByteArray header;
  if (!sms.header.isEmpty()) header = char(sms.header.size()) + sms.header;
  if (sms.coding != Coding::Gsm7) return header + sms.data;
  // The header takes whole septets; the bits it leaves free are the fill bits.
  const qsizetype headerSeptets = (header.size() * 8 + 6) / 7;
  QByteArray packed = gsm7::pack(QByteArray(headerSeptets, '\0') + sms.data);
  packed.replace(0, header.size(), header);
  return packed;
}

QByteArray deliverTpdu(const StoredSms& sms) {
  // More-messages-to-send is clear (bit value 1 = no more); the header indicator as needed.
  const char firstOctet = sms.header.isEmpty() ? 0x04 : 0x44;
  QByteArray out(1, firstOctet);
  out += addressField(sms.sender, sms.alphanumericSender);
  out.append('\0').append(static_cast<char>(dataCodingScheme(sms.coding)));
  out += timeStampField(sms.timeStamp);
  out.append(static_cast<char>(userDataLength(sms)));
  return out + userData(sms);
}

}  // namespace kolvane::modemsim
