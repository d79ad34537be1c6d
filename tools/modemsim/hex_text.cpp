#include "modemsim/hex_text.h"

#include <algorithm>
#include <cctype>

namespace kolvane::modemsim {

std::optional<QByteArray> octetsOfHex(const QByteArray& hex) {
  const bool digits = std::all_of(hex.begin(), hex.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
  });
  if (hex.size() % 2 != 0 || !digits) return std::nullopt;
  return QByteArray::fromHex(hex);
}

QByteArray utf16BeOf(const QString& text) {
  QByteArray out;
  for (const QChar c : text)
    out.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
  return out;
}

QString textOfUtf16Be(const QByteArray& octets) {
  QString out;
  for (qsizetype i = 0; i + 1 < octets.size(); i += 2)
    out.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(octets[i]) << 8 |
                                           static_cast<unsigned char>(octets[i + 1]))));
  return out;
}

}  // namespace kolvane::modemsim
