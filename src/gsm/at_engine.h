#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <cstdint>
#include <optional>

#include "platform/clock.h"

namespace kolvane {

class GatewayContext;
struct LinkState;

// The AT engine: the one reader of what the modem sends, below the automaton.
//
// Lines. Every complete line is sorted into exactly one LineKind against the command in flight
// (CommandInFlight): the echo of that command (or of the SMS body after its prompt), a final
// result (FinalResult: its kind and numeric code), the send prompt ("> "), an information line
// the command expects by its prefix ("+CSQ" for AT+CSQ), the continuation of a listed entry
// (the text or PDU after its "+CMGL:" header, however it reads), or an unsolicited code — any
// other line, whatever it says. A final result is credited only to the command in flight once it
// has been written; the results still owed by earlier writes (a command written again after a
// time-out) answer nothing later. The automaton's states decide what an answer means; they see
// only sorted lines (ReadLine), never raw ones.
//
// Writes. The send pass asks NextWrite() before each command: each connection's kick-off is
// preceded by ESC and a quiet line (300 ms without a byte, at most 3 s, what came discarded), and
// a send given up before its body closes the prompt the same way before anything else is
// written. Optional commands a modem does not support are left out for the connection.
namespace at {

// How a command ended.
enum class FinalKind {
  Ok,
  Error,
  CmeError,           // +CME ERROR: n (equipment)
  CmsError,           // +CMS ERROR: n (message service)
  ExtError,           // +EXT ERROR: n
  CommandNotSupport,  // "COMMAND NOT SUPPORT" of USB sticks
  TooManyParameters,
  // End a dial or answer command only; for any other command they are unsolicited.
  NoCarrier,
  Busy,
  NoAnswer,
  NoDialtone,
};

struct FinalResult {
  FinalKind kind = FinalKind::Ok;
  int code = -1;     // n of +CME, +CMS and +EXT ERROR; -1 when there is none or it is words
  QByteArray words;  // what follows the colon when it is no number (verbose error texts)

  bool ok() const { return kind == FinalKind::Ok; }
  // The modem does not know or support the command.
  bool notSupported() const;
  bool callResult() const;
};

// The line without the control bytes before it (an echoed ESC, noise) and the blanks after it.
QByteArrayView Visible(QByteArrayView line);

// The final result a line is, whatever command it answers; nullopt for any other line.
std::optional<FinalResult> FinalResultOf(QByteArrayView line);

// What a modem says on its own.
enum class UnsolicitedKind {
  Other,         // any other line: indicator events, time-zone reports, vendors' own codes
  Call,          // RING, +CRING:, +CLIP:, NO CARRIER, BUSY, NO ANSWER, NO DIALTONE
  Registration,  // +CREG:, +CGREG:, +CEREG:
  NewMessage,    // +CMTI: a received SMS was stored
  Report,        // +CDSI:, +CDS:, +CBM: status reports and cell broadcasts
  StickStatus,   // the "^" codes of USB sticks
  Restart,       // the boot lines of a module that has just started (RDY, Call/SMS Ready)
};
UnsolicitedKind UnsolicitedKindOf(QByteArrayView line);

enum class LineKind { Echo, Final, Prompt, Information, Continuation, Unsolicited };

// What the reader needs to know of the command in flight.
struct CommandInFlight {
  QByteArrayView command;          // as written, without its CR
  QList<QByteArrayView> expected;  // prefixes of the information lines it is answered with
  bool promptAwaited = false;      // a send command before its prompt
  bool bodyOut = false;            // its body is out: lines may echo what is left of it
  QByteArrayView bodyLeft;         // the body not echoed yet
  bool bodyEchoing = false;        // the body's echo has begun (on the prompt's line)
  // A listed entry's header came: 1 = the first line of a text body of known length (whatever
  // it says), 2 = a line of a body that may be over (unless it is a final result or a new
  // header).
  int continuation = 0;
  bool dialling = false;      // ATD or ATA: the call results end it
  std::uint32_t timeout = 0;  // its answer time (GsmTimeout)
  std::int32_t writes = 0;    // writes still unanswered; more than one: written again
};

// The command in flight as the link holds it (GsmSendStr, WaitPrompt, WaitResult, the body).
CommandInFlight InFlight(const LinkState& link);

struct SortedLine {
  LineKind kind = LineKind::Unsolicited;
  std::optional<FinalResult> final;
  UnsolicitedKind code = UnsolicitedKind::Other;
  qsizetype bodyEchoed = 0;  // for an echo of the body: how much of bodyLeft it covers
};

// Sorts one line (without its line end) against the command in flight.
SortedLine SortLine(QByteArrayView line, const CommandInFlight& inFlight);

// The prefixes of the information lines a command is answered with ("+CMGL" for AT+CMGL=4);
// empty for commands answered by a final result alone.
QList<QByteArrayView> ExpectedPrefixes(QByteArrayView command);

// A line as the automaton reads it.
struct Reading : SortedLine {
  QByteArray text;        // without leading control bytes and trailing blanks
  bool credited = false;  // a final result of the command in flight
};

// The engine's own state; LinkState::At.
struct AtEngine {
  // Writes of the command in flight still unanswered, and the final results due for writes of
  // earlier commands: the modem answers in order, so those come first and answer nothing later.
  std::int32_t writes = 0;
  std::int32_t owed = 0;
  // The kick-off's answer came garbled (noise at connect): the kick-off is written again.
  bool kickOffGarbled = false;
  // Bytes of the lines set aside as unsolicited in the block being handed over.
  qsizetype setAsideBytes = 0;
  // The listed entry whose body is being read, and the bytes of a text body still to come.
  int continuation = 0;
  std::int32_t bodyBytesLeft = 0;
  bool bodyBytesBegun = false;
  std::int32_t bodyBytesAtLineStart = 0;  // before the line now coming
  // The final result credited last: what an error transition reads of the error.
  FinalResult lastResult;
  // The SMS body's echo so far.
  qsizetype bodyEchoed = 0;
  bool bodyEchoing = false;

  // The send command is out and its body is not: the modem may sit at its prompt.
  bool promptMayBeOpen = false;
  // ESC goes out before the next command, and then the line must be quiet.
  bool escapeWanted = false;
  bool settling = false;
  Tick settleFrom = 0;
  Tick lastByteTick = 0;

  // Per connection.
  bool kickedOff = false;           // its first kick-off is out
  bool numericErrorsAsked = false;  // AT+CMEE=1 is out
  QSet<QByteArray> leftOut;         // optional commands the modem does not support
  bool restarted = false;           // the module started anew after the relation's reading
};

// Quiet wanted before the first command after ESC, and the longest wait for it.
inline constexpr std::uint32_t kQuietMs = 300;
inline constexpr std::uint32_t kQuietMaxMs = 3000;
inline constexpr char kEscape = 27;

// A received byte, after it was appended to GsmRecvStr: the listing's capture and the count of a
// text body. True when the line begun is the send prompt the automaton waits for.
bool ByteReceived(GatewayContext& gateway);
// A complete line (GsmRecvStr without its line end), sorted and booked.
Reading ReadLine(GatewayContext& gateway, const QByteArray& line);

// A new command replaces the one in flight: the answers its writes still owe come first.
void NewCommand(LinkState& link);
// The send pass has written the command (or the SMS body) whole: its answer is awaited.
void CommandWritten(GatewayContext& gateway);
// Nothing in flight and nothing being read.
void ClearEngine(LinkState& link);
// The link to the device has been opened anew.
void ConnectionOpened(LinkState& link);
// Nothing of the command in flight or of earlier ones is still to be answered.
bool NothingOwed(const LinkState& link);

enum class WriteStep { Command, Escape, Hold };
// What the send pass does with the command set: write it, write ESC before it, or hold it until
// the line has been quiet (*due: when to look again).
WriteStep NextWrite(LinkState& link, Tick now, Tick* due);
void EscapeWritten(LinkState& link, Tick now);
// Bytes that came while the line settles after ESC are dropped; they put the quiet off.
void BytesDiscarded(LinkState& link, Tick now);
bool Settling(const LinkState& link);
Tick SettleDue(const LinkState& link);

// Optional commands answered "not supported" are left out for the rest of the connection.
QByteArray CommandName(QByteArrayView command);
bool LeftOut(const LinkState& link, QByteArrayView command);

}  // namespace at
}  // namespace kolvane
