#include "mail/quoted_printable.h"

#include "gsm/utf8_conversion.h"

namespace kolvane {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

QByteArray QpEncode(const QByteArray& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  QByteArray out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 32 || b == '=' || b >= 128) {
      out += '=';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

QByteArray QpKeepEdges(QByteArray body) {
  if (body.startsWith(' ') || body.startsWith('.')) {
    body.replace(0, 1, body.startsWith(' ') ? "=20" : "=2E");
  }
  if (body.endsWith(' ')) body.replace(body.size() - 1, 1, "=20");
  return body;
}

QByteArray QpDecode(const QByteArray& bytes) {
  QByteArray out;
  out.reserve(bytes.size());
  const qsizetype n = bytes.size();
  for (qsizetype i = 0; i < n; ++i) {
    if (bytes[i] != '=') {
      out += bytes[i];
    } else if (i + 2 < n) {
      const int hi = hexValue(bytes[i + 1]);
      const int lo = hexValue(bytes[i + 2]);
      if (hi >= 0 && lo >= 0) out += static_cast<char>(hi * 16 + lo);
      i += 2;
    }
  }
  return out;
}

QByteArray LogTextOfRaw(const QByteArray& raw) {
  QByteArray text = Utf8ToGsmAlphabet(raw);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  return text;
}

QByteArray LogText(const QByteArray& body) {
  return LogTextOfRaw(QpDecode(body));
}

}  // namespace kolvane
