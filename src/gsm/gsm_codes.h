#pragma once

#include <cstdint>
#include <optional>

namespace kolvane {

// Codes of the GSM 7-bit default alphabet that differ from ASCII or stand outside it.
inline constexpr std::uint8_t kGsmAt = 0;
inline constexpr std::uint8_t kGsmDollar = 2;
inline constexpr std::uint8_t kGsmUnderscore = 17;
inline constexpr std::uint8_t kGsmCtrlZ = 26;  // also Xi; ends a text-mode message at the modem
inline constexpr std::uint8_t kGsmEscape = 27;
inline constexpr std::uint8_t kGsmAE = 28;
inline constexpr std::uint8_t kGsmae = 29;
inline constexpr std::uint8_t kGsmSharpS = 30;
inline constexpr std::uint8_t kGsmOSlash = 11;
inline constexpr std::uint8_t kGsmoSlash = 12;
inline constexpr std::uint8_t kGsmEuroExt = 101;

// Extension-table code of an ASCII character that needs the escape ("[" → 60), if any.
constexpr std::optional<std::uint8_t> GsmExtensionCode(char32_t ch) {
  switch (ch) {
    case U'^':
      return 20;
    case U'{':
      return 40;
    case U'}':
      return 41;
    case U'\\':
      return 47;
    case U'[':
      return 60;
    case U'~':
      return 61;
    case U']':
      return 62;
    case U'|':
      return 64;
    default:
      return std::nullopt;
  }
}

// The character an extension code stands for, or 0 for codes outside the set in use.
constexpr char32_t GsmExtensionChar(std::uint8_t code) {
  switch (code) {
    case 20:
      return U'^';
    case 40:
      return U'{';
    case 41:
      return U'}';
    case 47:
      return U'\\';
    case 60:
      return U'[';
    case 61:
      return U'~';
    case 62:
      return U']';
    case 64:
      return U'|';
    case kGsmEuroExt:
      return U'€';
    default:
      return 0;
  }
}

}  // namespace kolvane
