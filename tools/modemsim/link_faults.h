#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace kolvane::modemsim {

// Faults that end a relation in the middle of a send, or trouble the link itself. The counts
// are used up one at a time, so a test can make one relation fail and the next succeed.
struct LinkFaults {
  int silentBodies = 0;     // SMS bodies swallowed: no "+CMGS:", no "OK", nothing sent
  int dropAtSend = 0;       // send commands that drop the link instead of giving the prompt
  int dropAfterAccept = 0;  // bodies answered "+CMGS: n" (the SMS is sent), then the link drops
  int noiseBytes = 0;       // noise written at every new connection, before any command
  int noiseSpreadMs = 0;    // ... spread evenly over this long; 0 = at once
  bool unplugged = false;   // the pseudo-terminal is gone until "replug"
  // The link drops right after the answer to each of these command lines, once each.
  QStringList dropAfterAnswer;

  // Takes one off a count; true when one was left.
  static bool use(int& count);
};

// Applies a control command of LinkFaults (see kLinkFaultHelp); nullopt when the verb is not
// one of them, false with *error set when it is malformed.
std::optional<bool> applyLinkFaultCommand(LinkFaults& faults, const QString& line, QString* error);

// Bytes a disturbed line brings: printable text, line ends and bytes above 127.
QByteArray noise(int bytes);

inline constexpr const char* kLinkFaultHelp =
    "  silent-body N         swallow the next N SMS bodies: no answer at all\n"
    "  drop-at-send N        drop the link at the next N send commands (no prompt)\n"
    "  drop-after-accept N   answer the next N bodies \"+CMGS: n\", then drop before OK\n"
    "  noise BYTES [MS]|off  write BYTES of noise at every new connection, spread over MS\n"
    "  drop-after-answer COMMAND  drop the link once, right after answering this command\n"
    "                        line (trailing * = prefix)\n"
    "  unplug / replug       pseudo-terminal: remove it / bring it back at the same path\n"
    "  power-up              the module is switched off and on (echo on, boot lines)\n"
    "  burst N MS [NUMBER]   N SMS arrive MS apart (\"Burst B.K\"), announced as any other\n";

}  // namespace kolvane::modemsim
