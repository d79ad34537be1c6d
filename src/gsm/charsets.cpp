#include "gsm/charsets.h"

#include <iconv.h>

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

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

// Aliases of the mail charsets, in the form charsetKey gives them.
constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
    {"unicode11utf8", "utf-8"},    {"unicode20utf8", "utf-8"},
    {"xunicode20utf8", "utf-8"},   {"latin1", "iso-8859-1"},
    {"l1", "iso-8859-1"},          {"isoir100", "iso-8859-1"},
    {"csisolatin1", "iso-8859-1"}, {"cp819", "iso-8859-1"},
    {"ibm819", "iso-8859-1"},      {"latin2", "iso-8859-2"},
    {"l2", "iso-8859-2"},          {"isoir101", "iso-8859-2"},
    {"csisolatin2", "iso-8859-2"}, {"latin4", "iso-8859-4"},
    {"l4", "iso-8859-4"},          {"isoir110", "iso-8859-4"},
    {"csisolatin4", "iso-8859-4"}, {"cyrillic", "iso-8859-5"},
    {"isoir144", "iso-8859-5"},    {"csisolatincyrillic", "iso-8859-5"},
    {"greek", "iso-8859-7"},       {"greek8", "iso-8859-7"},
    {"elot928", "iso-8859-7"},     {"ecma118", "iso-8859-7"},
    {"isoir126", "iso-8859-7"},    {"csisolatingreek", "iso-8859-7"},
    {"latin5", "iso-8859-9"},      {"l5", "iso-8859-9"},
    {"isoir148", "iso-8859-9"},    {"csisolatin5", "iso-8859-9"},
    {"latin7", "iso-8859-13"},     {"l7", "iso-8859-13"},
    {"isoir179", "iso-8859-13"},   {"latin10", "iso-8859-16"},
    {"l10", "iso-8859-16"},        {"isoir226", "iso-8859-16"},
};

// A charset name without case, separators and the year of a standard ("iso_8859-2:1987").
QByteArray charsetKey(QByteArrayView name) {
  QByteArray key;
  for (char c : name) {
    if (c == ':') break;
    if (c == '-' || c == '_' || c == ' ' || c == '.') continue;
    key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return key;
}

// The Windows code pages also go by "cp1250", "x-cp1250" and "win1250".
std::optional<std::string_view> windowsCodePage(const QByteArray& key) {
  for (const char* prefix : {"xcp", "cp", "win"}) {
    if (!key.startsWith(prefix)) continue;
    const QByteArray candidate = "windows" + key.mid(qstrlen(prefix));
    for (std::string_view known : kMailCharsets) {
      if (charsetKey(QByteArrayView(known.data(), qsizetype(known.size()))) == candidate)
        return known;
    }
  }
  return std::nullopt;
}

// Names from mail go to the platform's converter only when they look like charset names.
bool plausibleName(QByteArrayView name) {
  return !name.isEmpty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':' || c == '+';
  });
}

Iconv openToUtf8(QByteArrayView name) {
  if (!plausibleName(name)) return nullptr;
  iconv_t raw = iconv_open("UTF-8", name.toByteArray().constData());
  if (raw == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return Iconv(raw);
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

QByteArray CanonicalCharset(QByteArrayView name) {
  QByteArray lower;
  for (char c : name) {
    if (c == '"' || c == '\'' || c == ' ' || c == '\t') continue;
    lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  const QByteArray key = charsetKey(lower);
  for (std::string_view known : kMailCharsets) {
    if (charsetKey(QByteArrayView(known.data(), qsizetype(known.size()))) == key)
      return QByteArray(known.data(), qsizetype(known.size()));
  }
  for (const auto& [alias, known] : kAliases) {
    if (key == QByteArrayView(alias.data(), qsizetype(alias.size())))
      return QByteArray(known.data(), qsizetype(known.size()));
  }
  if (const auto page = windowsCodePage(key))
    return QByteArray(page->data(), qsizetype(page->size()));
  return lower;
}

bool SystemConverterKnows(QByteArrayView name) {
  return openToUtf8(name) != nullptr;
}

std::optional<QString> DecodeWithSystemConverter(QByteArrayView name, QByteArrayView bytes) {
  const Iconv cd = openToUtf8(name);
  if (!cd) return std::nullopt;
  QByteArray out(bytes.size() * 4 + 16, Qt::Uninitialized);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = static_cast<std::size_t>(bytes.size());
  std::size_t used = 0;
  // The last round, without input, ends a stateful charset's shift sequence.
  for (bool flush = false;;) {
    char* outPtr = out.data() + used;
    std::size_t outLeft = static_cast<std::size_t>(out.size()) - used;
    const std::size_t rc = flush ? iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft)
                                 : iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    used = static_cast<std::size_t>(outPtr - out.data());
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno != E2BIG) return std::nullopt;  // a byte not valid in the charset, or cut short
      out.resize(out.size() * 2);
      continue;
    }
    if (flush) break;
    flush = true;
  }
  out.truncate(static_cast<qsizetype>(used));
  return QString::fromUtf8(out);
}

QByteArray UndeclaredCharset(QByteArrayView bytes, QByteArrayView eightBit) {
  if (bytes.isValidUtf8()) return "utf-8";
  const QByteArray chosen = CanonicalCharset(eightBit);
  if (IsKnownCharset(chosen) && chosen != "utf-8") return chosen;
  return "windows-1252";
}

QString ReadUndeclared(QByteArrayView bytes, QByteArrayView eightBit) {
  return DecodeFromNamedCharset(UndeclaredCharset(bytes, eightBit), bytes);
}

CharsetText ResolveCharset(QByteArrayView declared, const QByteArray& bytes,
                           QByteArrayView eightBit) {
  const QByteArray name = CanonicalCharset(declared);
  if (name.isEmpty()) return {UndeclaredCharset(bytes, eightBit), bytes};
  if (IsKnownCharset(name)) return {name, bytes};
  if (const auto text = DecodeWithSystemConverter(name, bytes)) return {"utf-8", text->toUtf8()};
  if (SystemConverterKnows(name)) return {UndeclaredCharset(bytes, eightBit), bytes};
  return {name, bytes};
}

QString ReadDeclared(QByteArrayView declared, const QByteArray& bytes, QByteArrayView eightBit) {
  const CharsetText text = ResolveCharset(declared, bytes, eightBit);
  const bool valid = text.charset != "utf-8" || text.bytes.isValidUtf8();
  if (valid && IsKnownCharset(text.charset))
    return DecodeFromNamedCharset(text.charset, text.bytes);
  return ReadUndeclared(text.bytes, eightBit);
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
