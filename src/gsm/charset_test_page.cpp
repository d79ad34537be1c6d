#include "gsm/charset_test_page.h"

#include "gsm/charsets.h"
#include "gsm/utf8_conversion.h"

namespace kolvane {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");
constexpr char kEscape = 27;

QByteArray hex2(std::uint8_t byte) {
  return QByteArray(1, static_cast<char>(byte)).toHex().toUpper();
}

// A byte as shown in a two-character column: itself after a space, or its hex when it is a
// control character.
QByteArray shown(std::uint8_t byte) {
  return byte < 32 ? hex2(byte) : QByteArray(" ") + static_cast<char>(byte);
}

QByteArray toGsm(QByteArrayView charset, std::uint8_t byte) {
  const char c = static_cast<char>(byte);
  return Utf8ToGsmAlphabet(DecodeFromNamedCharset(charset, QByteArrayView(&c, 1)).toUtf8());
}

}  // namespace

QByteArray CharsetTestPage(QByteArrayView charset, const CharReplacement& repl) {
  const QByteArray& in = repl.MailSmsInCh;
  const QByteArray& out = repl.MailSmsOutCh;
  QByteArray page = "<HTML><BODY><PRE>" + kCrLf;
  page +=
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=" + charset.toByteArray() +
      "\">" + kCrLf + "MailSmsXxxCh" + kCrLf;

  QByteArray hex = "Hex=", eml = "Eml=", gsm = "Gsm=", g2 = "G_2=", ucs = "UCS=";
  for (qsizetype k = 0; k < in.size(); ++k) {
    const auto b = static_cast<std::uint8_t>(in[k]);
    const auto o = k < out.size() ? static_cast<std::uint8_t>(out[k]) : std::uint8_t{0};
    hex += hex2(b);
    eml += QByteArray(" ") + static_cast<char>(b);
    gsm += shown(o);
    g2 += repl.ChEscTab[b] ? " X" : "  ";
    ucs += (o < 32 || repl.ChEscTab[b]) ? hex2(b) : QByteArray(" ") + toGsm(charset, b);
  }
  for (const QByteArray* line : {&hex, &eml, &gsm, &g2, &ucs}) page += *line + kCrLf;
  page += kCrLf + kCrLf + kCrLf;

  QByteArray codes, bytes, results, marks;
  for (int v = 0; v < 256; ++v) {
    const auto b = static_cast<std::uint8_t>(v);
    const QByteArray result = toGsm(charset, b);
    const bool basic = result.size() == 1 && result[0] == static_cast<char>(b) && b != kEscape;
    if (!basic && result == "-") continue;
    codes += hex2(b);
    bytes += shown(b);
    if (basic) {
      results += shown(b);
    } else if (result.isEmpty()) {
      results += "!!";
    } else if (result.size() == 1) {
      results += QByteArray(" ") + result;
    } else if (result.size() == 2) {
      results += result;
    } else {
      results += '#' + QByteArray::number(result.size());
    }
    marks += basic ? " S" : " .";
  }
  for (const QByteArray* line : {&codes, &bytes, &results, &marks}) page += *line + kCrLf;
  page += "</PRE></BODY></HTML>" + kCrLf;
  return page;
}

}  // namespace kolvane
