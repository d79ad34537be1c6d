#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace kolvane {

// The framed line protocol of the ISDN/LAN gateway devices: "~", the escaped body, "z".
// Body: type, length L of the IE list, the IE list, checksum (the body sums to 0 mod 256).
namespace gate {
inline constexpr char kBegin = '~';
inline constexpr char kEnd = 'z';
inline constexpr char kEscape = static_cast<char>(205);
inline constexpr std::uint8_t kTypeSent = 165;
inline constexpr std::uint8_t kTypeAnswer = 163;
inline constexpr std::uint8_t kTypeIndication = 166;

inline constexpr std::uint8_t kCause = 113;    // IE_CAUSE
inline constexpr std::uint8_t kIdent = 144;    // identification
inline constexpr std::uint8_t kReadAck = 145;  // read acknowledge
inline constexpr std::uint8_t kData1 = 149;    // text
inline constexpr std::uint8_t kData2 = 150;    // telephone number
inline constexpr std::uint8_t kSctp = 151;     // time stamp of a received SMS
inline constexpr std::uint8_t kModule = 152;   // GSM module
inline constexpr std::uint8_t kCounter = 154;  // counter, high byte first
inline constexpr std::uint8_t kTypeSms = 156;  // kind of message and coding

inline constexpr std::uint8_t kCauseInactiveModule = 240;
// Causes above this one mean a full buffer.
inline constexpr std::uint8_t kCauseBufferFullFrom = 254;
// A partial frame never longer than this waits for its end; longer ones are junk.
inline constexpr qsizetype kMaxPending = 1100;
}  // namespace gate

QByteArray GateEscape(const QByteArray& body);
QByteArray GateUnescape(const QByteArray& escaped);

// IE builders.
QByteArray GateIE(std::uint8_t id, const QByteArray& value = {});
QByteArray GateIE8(std::uint8_t id, std::uint8_t value);
QByteArray GateIE16(std::uint8_t id, std::uint16_t value);
// A frame of type 165 around an IE list (at most 255 bytes; longer lists are cut).
QByteArray GateFrame(const QByteArray& ieList);
// A frame of any type; the simulated device builds its own with it.
QByteArray GateFrameOfType(std::uint8_t type, QByteArray ieList);

// The IEs of one received frame; values not present are empty, the module 255, the counter -1.
struct GateIEs {
  bool hasCause = false, hasIdent = false, hasReadAck = false, hasData1 = false, hasData2 = false,
       hasSctp = false, hasModule = false, hasCounter = false, hasTypeSms = false;
  QByteArray cause, ident, data1, data2, sctp, typeSms;
  int module = 255;
  int counter = -1;
};

struct GateParsed {
  bool dropped = false;  // a check of the frame failed; no IE is acted upon
  QString reason;        // empty when the frame was sound
  GateIEs ies;
  std::uint8_t type = 0;
};

// Checks and reads one frame as taken from the line (everything before its first "~" is
// ignored). A frame from the device has type 163 or 166; the simulated device reads the
// gateway's own type 165 instead.
GateParsed ParseGateFrame(const QByteArray& frame, bool fromDevice = true);

// The receive buffer after one more byte: the frame to handle when one has ended, else
// nothing. A frame that started again before its end (a frame cut off) leaves only the new
// start; *cut is set then. Junk without an end is dropped once it outgrows any frame.
struct GateTake {
  QByteArray frame;
  bool cut = false;
};
GateTake TakeGateFrame(QByteArray& buffer);

// The GSM module named after the first "MODUL" of a subject (non-digits skipped): 1 to 32,
// else 255.
int ModuleFromSubject(const QByteArray& subject);

// Bytes as two-digit upper-case hex, each followed by a space.
QString GateHexBytes(const QByteArray& bytes);

}  // namespace kolvane
