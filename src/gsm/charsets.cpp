#include "gsm/charsets.h"

#include <iconv.h>

#include <QByteArray>
#include <algorithm>
#include <memory>

namespace kolvane {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

char16_t ConvertOneByte(iconv_t cd, std::uint8_t byte) {
  char in = static_cast<char>(byte);
  char out[4] = {};
  char* inPtr = &in;
  char* outPtr = out;
  std::size_t inLeft = 1;
  std::size_t outLeft = sizeof out;
  const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  if (rc == static_cast<std::size_t>(-1) || sizeof out - outLeft != 2) return kReplacement;
  return static_cast<char16_t>((static_cast<std::uint8_t>(out[0]) << 8) |
                               static_cast<std::uint8_t>(out[1]));
}

}  // namespace

bool IsKnownCharset(QByteArrayView name) {
  return std::any_of(kMailCharsets.begin(), kMailCharsets.end(), [name](std::string_view known) {
    return name == QByteArrayView(known.data(), qsizetype(known.size()));
  });
}

std::optional<std::array<char16_t, 256>> SingleByteCodePage(QByteArrayView name) {
  if (!IsKnownCharset(name) || name == "utf-8") return std::nullopt;
  const QByteArray from = name.toByteArray();
  iconv_t raw = iconv_open("UCS-2BE", from.constData());
  if (raw == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  const Iconv cd(raw);
  std::array<char16_t, 256> page{};
  for (int b = 0; b < 256; ++b) page[b] = ConvertOneByte(cd.get(), static_cast<std::uint8_t>(b));
  return page;
}

QString DecodeFromNamedCharset(QByteArrayView name, QByteArrayView bytes) {
  if (name == "utf-8") return QString::fromUtf8(bytes);
  const auto page = SingleByteCodePage(name);
  if (!page) return {};
  QString out;
  out.reserve(bytes.size());
  for (char c : bytes) out += QChar((*page)[static_cast<std::uint8_t>(c)]);
  return out;
}

}  // namespace kolvane
