#include "gsm/gsm_alphabet.h"

#include <QString>
#include <array>
#include <string_view>

#include "gsm/gsm_codes.h"

namespace kolvane {

namespace {

// Each code of the GSM 7-bit default alphabet as UTF-8; escape (27) pairs with the next byte.
constexpr std::array<std::string_view, 128> kGsmToText = [] {
  std::array<std::string_view, 128> t{};
  constexpr std::string_view kAscii =
      " !\"#$%&'()*+,-./"
      "0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz";
  for (std::size_t c = 32; c < 123; ++c) t[c] = kAscii.substr(c - 32, 1);
  constexpr std::string_view kLow[32] = {"@", "£", "$",  "¥", "è", "é", "ù", "ì", "ò", "Ç", "\n",
                                         "Ø", "ø", "\r", "Å", "å", "Δ", "_", "Φ", "Γ", "Λ", "Ω",
                                         "Π", "Ψ", "Σ",  "Θ", "Ξ", "",  "Æ", "æ", "ß", "É"};
  for (std::size_t c = 0; c < 32; ++c) t[c] = kLow[c];
  t[36] = "¤";
  t[64] = "¡";
  t[91] = "Ä", t[92] = "Ö", t[93] = "Ñ", t[94] = "Ü", t[95] = "§", t[96] = "¿";
  t[123] = "ä", t[124] = "ö", t[125] = "ñ", t[126] = "ü", t[127] = "à";
  return t;
}();

constexpr std::uint8_t kGsmFormFeedExt = 10;

}  // namespace

QByteArray GsmAlphabetToText(QByteArrayView gsm) {
  QByteArray out;
  out.reserve(gsm.size());
  for (qsizetype i = 0; i < gsm.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(gsm[i]);
    if (b == kGsmEscape) {
      // An extension code a phone does not know shows as the character of the main table.
      if (++i < gsm.size()) {
        const auto code = static_cast<std::uint8_t>(gsm[i]);
        const char32_t ext = GsmExtensionChar(code);
        if (ext != 0) {
          out += QString::fromUcs4(&ext, 1).toUtf8();
        } else if (code == kGsmFormFeedExt) {
          out += '\f';
        } else if (code < 128) {
          out.append(kGsmToText[code].data(), kGsmToText[code].size());
        } else {
          out += '-';
        }
      }
    } else if (b >= 128) {
      out += '-';
    } else {
      out.append(kGsmToText[b].data(), kGsmToText[b].size());
    }
  }
  return out;
}

QByteArray TextModeForm(QByteArrayView gsm) {
  QByteArray out;
  out.reserve(gsm.size() + 8);
  const qsizetype n = gsm.size();
  for (qsizetype i = 0; i < n; ++i) {
    const auto b = static_cast<std::uint8_t>(gsm[i]);
    if (b == kGsmCtrlZ) {
      // The rest is counted with this byte in it: a 158-character text whose second byte is
      // Xi already gets the short form.
      out += (out.size() + 2 + (n - i) > 159) ? "x" : "xi";
    } else if (b == kGsmEscape) {
      if (++i >= n) {
        out += '-';
        break;
      }
      switch (static_cast<std::uint8_t>(gsm[i])) {
        case 20:
          out += '\'';
          break;
        case 40:
        case 60:
          out += '(';
          break;
        case 41:
        case 62:
          out += ')';
          break;
        case 47:
          out += '/';
          break;
        case 61:
          out += '-';
          break;
        case 64:
          out += 'I';
          break;
        case kGsmEuroExt:
          out += 'e';
          break;
        default:
          out += '-';
      }
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

}  // namespace kolvane
