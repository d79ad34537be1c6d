#include "modemsim/gsm7.h"

#include <array>

namespace kolvane::modemsim::gsm7 {
namespace {

// Basic table, code 0..127 (0x1B is the escape and has no character of its own).
constexpr std::array<char16_t, 128> kBasic = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC',
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5',
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8',
    u'\u03A3', u'\u0398', u'\u039E', u'\u00A0', u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9',
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7',
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0',
};

struct Extension {
  char code;
  char16_t ch;
};
constexpr std::array<Extension, 10> kExtension = {{{0x0A, u'\f'},
                                                   {0x14, u'^'},
                                                   {0x28, u'{'},
                                                   {0x29, u'}'},
                                                   {0x2F, u'\\'},
                                                   {0x3C, u'['},
                                                   {0x3D, u'~'},
                                                   {0x3E, u']'},
                                                   {0x40, u'|'},
                                                   {0x65, u'\u20AC'}}};

int basicCode(char16_t ch) {
  if (ch == u'\u00A0') return -1;  // placeholder at the escape position
  for (int code = 0; code < 128; ++code)
    if (kBasic[code] == ch) return code;
  return -1;
}

}  // namespace

QByteArray fromText(const QString& text, bool* ok) {
  QByteArray out;
  bool all = true;
  for (const QChar qc : text) {
    const char16_t ch = qc.unicode();
    if (const int code = basicCode(ch); code >= 0) {
      out.append(static_cast<char>(code));
      continue;
    }
    bool found = false;
    for (const Extension& e : kExtension) {
      if (e.ch == ch) {
        out.append(kEscape).append(e.code);
        found = true;
        break;
      }
    }
    if (!found) {
      // A surrogate pair is one character the alphabet lacks: one "?" for both halves.
      if (qc.isLowSurrogate()) continue;
      out.append('?');
      all = false;
    }
  }
  if (ok) *ok = all;
  return out;
}

bool canEncode(const QString& text) {
  bool ok = false;
  fromText(text, &ok);
  return ok;
}

QString toText(const QByteArray& septets) {
  QString out;
  for (qsizetype i = 0; i < septets.size(); ++i) {
    const int code = static_cast<unsigned char>(septets[i]) & 0x7F;
    if (code == kEscape) {
      if (i + 1 >= septets.size()) break;
      const char next = static_cast<char>(septets[++i] & 0x7F);
      char16_t ch = u' ';  // unknown extension code: shown as a space
      for (const Extension& e : kExtension)
        if (e.code == next) ch = e.ch;
      out.append(QChar(ch));
      continue;
    }
    out.append(QChar(kBasic[code]));
  }
  return out;
}

QByteArray pack(const QByteArray& septets, int fillBits) {
  const qsizetype bits = fillBits + 7 * septets.size();
  QByteArray out((bits + 7) / 8, '\0');
  qsizetype bit = fillBits;
  for (const char s : septets) {
    const unsigned v = static_cast<unsigned char>(s) & 0x7F;
    for (int b = 0; b < 7; ++b, ++bit)
      if (v & (1u << b)) out[bit / 8] = static_cast<char>(out[bit / 8] | (1 << (bit % 8)));
  }
  return out;
}

QByteArray unpack(const QByteArray& octets, int count, int startBit) {
  QByteArray out;
  qsizetype bit = startBit;
  for (int k = 0; k < count && bit + 7 <= octets.size() * 8; ++k) {
    unsigned v = 0;
    for (int b = 0; b < 7; ++b, ++bit)
      if (static_cast<unsigned char>(octets[bit / 8]) & (1u << (bit % 8))) v |= 1u << b;
    out.append(static_cast<char>(v));
  }
  return out;
}

}  // namespace kolvane::modemsim::gsm7
