#pragma once

#include <QByteArray>
#include <array>

#include "modemsim/stored_sms.h"

// Answer texts shared by the command handlers of the simulated modem (verbose result codes).
namespace kolvane::modemsim::replies {

inline constexpr char kOk[] = "\r\nOK\r\n";
inline constexpr char kError[] = "\r\nERROR\r\n";
inline constexpr char kPrompt[] = "\r\n> ";
inline constexpr std::array<const char*, 4> kStatusNames = {"REC UNREAD", "REC READ", "STO UNSENT",
                                                            "STO SENT"};

// Message-service error codes.
inline constexpr int kNotAllowed = 302;
inline constexpr int kBadPduParameter = 304;
inline constexpr int kBadTextParameter = 305;
inline constexpr int kNotSupported = 303;
inline constexpr int kSimNotInserted = 310;
inline constexpr int kSimPinRequired = 311;
inline constexpr int kSimBusy = 314;
inline constexpr int kBadIndex = 321;

// Equipment error codes.
inline constexpr int kMeNotAllowed = 3;
inline constexpr int kMeNotSupported = 4;
inline constexpr int kMeSimNotInserted = 10;
inline constexpr int kMeSimPinRequired = 11;
inline constexpr int kMeSimPukRequired = 12;
inline constexpr int kMeSimBusy = 14;
inline constexpr int kMeWrongPassword = 16;
inline constexpr int kMeUnknown = 100;

inline QByteArray info(const QByteArray& line) {
  return "\r\n" + line + "\r\n" + kOk;
}
inline QByteArray cmsError(int code) {
  return "\r\n+CMS ERROR: " + QByteArray::number(code) + "\r\n";
}
inline QByteArray quoted(const QByteArray& text) {
  return '"' + text + '"';
}
inline QByteArray storageName(Storage s) {
  return s == Storage::SM ? "SM" : "ME";
}

}  // namespace kolvane::modemsim::replies
