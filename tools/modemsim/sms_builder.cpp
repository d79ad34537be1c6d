#include "modemsim/sms_builder.h"

#include <algorithm>

#include "modemsim/gsm7.h"
#include "modemsim/hex_text.h"

namespace kolvane::modemsim {
namespace {

QByteArray payloadOf(const QString& text, Coding coding) {
  switch (coding) {
    case Coding::Ucs2:
      return utf16BeOf(text);
    case Coding::Data8: {
      QByteArray out;
      for (const QChar c : text)
        out.append(c.unicode() < 256 ? static_cast<char>(c.unicode()) : '?');
      return out;
    }
    default:
      return gsm7::fromText(text);
  }
}

// Octets (or septets) of the character starting at i: escape pairs and surrogate pairs stay whole.
qsizetype unitAt(const QByteArray& data, qsizetype i, Coding coding) {
  if (coding == Coding::Gsm7) return data[i] == gsm7::kEscape && i + 1 < data.size() ? 2 : 1;
  if (coding == Coding::Ucs2) {
    const bool high = (static_cast<unsigned char>(data[i]) & 0xFC) == 0xD8;
    return high && i + 3 < data.size() ? 4 : 2;
  }
  return 1;
}

std::vector<QByteArray> split(const QByteArray& data, Coding coding, qsizetype limit) {
  std::vector<QByteArray> out;
  qsizetype start = 0;
  for (qsizetype i = 0; i < data.size();) {
    const qsizetype unit = unitAt(data, i, coding);
    if (i + unit - start > limit) {
      out.push_back(data.mid(start, i - start));
      start = i;
    }
    i += unit;
  }
  if (start < data.size() || out.empty()) out.push_back(data.mid(start));
  return out;
}

std::vector<QByteArray> splitInTwo(const QByteArray& data, Coding coding) {
  qsizetype i = 0;
  while (i < data.size() && i < data.size() / 2) i += unitAt(data, i, coding);
  if (i == 0 || i >= data.size()) return {data};
  return {data.left(i), data.mid(i)};
}

}  // namespace

Coding chooseCoding(const Injection& injection) {
  if (injection.coding != Coding::Auto) return injection.coding;
  const QStringList texts =
      injection.parts.isEmpty() ? QStringList{injection.text} : injection.parts;
  return std::all_of(texts.begin(), texts.end(), gsm7::canEncode) ? Coding::Gsm7 : Coding::Ucs2;
}

std::vector<StoredSms> buildMessages(const Injection& injection, int reference,
                                     const QDateTime& time) {
  const Coding coding = chooseCoding(injection);
  const bool septets = coding == Coding::Gsm7;
  const qsizetype single = septets ? kSingleSeptets : kSingleOctets;
  const qsizetype part = septets ? kPartSeptets : kPartOctets;

  std::vector<QByteArray> payloads;
  if (!injection.parts.isEmpty()) {
    for (const QString& text : injection.parts)
      payloads.push_back(split(payloadOf(text, coding), coding, part).front());
  } else {
    const QByteArray data = payloadOf(injection.text, coding);
    if (data.size() <= single && !injection.concat)
      payloads.push_back(data);
    else if (data.size() <= part)
      payloads = splitInTwo(data, coding);
    else
      payloads = split(data, coding, part);
  }
  if (payloads.size() > 255) payloads.resize(255);

  const bool concatenated = payloads.size() > 1 || !injection.parts.isEmpty() || injection.concat;
  std::vector<StoredSms> out;
  if (!injection.rawEntry.isEmpty()) {
    StoredSms raw;
    raw.sender = injection.sender;
    raw.rawEntry = injection.rawEntry;
    return {raw};
  }
  for (std::size_t k = 0; k < payloads.size(); ++k) {
    StoredSms sms;
    sms.sender = injection.sender;
    sms.alphanumericSender = injection.alphanumericSender;
    sms.timeStamp = time;
    sms.coding = coding;
    sms.data = payloads[k];
    if (concatenated && reference > 0xFF) {
      sms.header = QByteArray("\x08\x04", 2);
      sms.header.append(static_cast<char>(reference >> 8))
          .append(static_cast<char>(reference))
          .append(static_cast<char>(payloads.size()))
          .append(static_cast<char>(k + 1));
    } else if (concatenated) {
      sms.header = QByteArray("\x00\x03", 2);
      sms.header.append(static_cast<char>(reference))
          .append(static_cast<char>(payloads.size()))
          .append(static_cast<char>(k + 1));
    }
    out.push_back(std::move(sms));
  }
  return out;
}

}  // namespace kolvane::modemsim
