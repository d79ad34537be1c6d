#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace kolvane::modemsim {

// Misbehaviour switched on for tests; all off by default.
struct Faults {
  bool silent = false;  // nothing is answered, not even the echo
  int cpas = 0;         // activity status answered to AT+CPAS (3 = ringing, 4 = call)
  QStringList errorOn;  // command lines answered ERROR; a trailing "*" matches a prefix
  int cmsError = 0;     // +CMS ERROR code answered to every SMS body; 0 = sends succeed
  // Answers to the next SMS bodies, one per send in turn: a +CMS ERROR code, "error" (a plain
  // ERROR) or "ok"; the sends after them go as without it.
  QStringList sendScript;
  bool highBytes = false;  // every answer starts with the byte 0xFF
  int dropAfter = 0;       // the link drops when command N+1 arrives; 0 = never
  int delayMs = 0;         // every answer is held back this long
  int delayMaxMs = 0;      // above delayMs: each answer is held back at random up to this long
  // Answers to these command lines (a trailing "*" matches a prefix) are held back this long
  // instead.
  QList<QPair<QString, int>> delayOn;
  int splitBytes = 0;     // answers go out in chunks of this many bytes; 0 = whole
  int splitPauseMs = 50;  // pause between chunks
  int stallBodyMs = 0;    // the next listing stops this long inside its first body (once)
  int registration = 1;   // network registration state answered to AT+CREG? (1 = home)
  int unsolicitedMs = 0;  // an unsolicited code this often, and one before every prompt; 0 = off
  // Command lines answered "COMMAND NOT SUPPORT", as USB sticks do (a trailing "*" matches a
  // prefix).
  QStringList unsupported;
  // Command lines answered with this equipment error: "+CME ERROR: n" once AT+CMEE=1 asked for
  // numbers, "ERROR" before.
  QList<QPair<QString, int>> cmeErrorOn;
  // Lines sent between a send command and its prompt, one per send in turn.
  QStringList promptCodes;
  bool echoStuck = false;  // ATE0 is answered OK, but the echo stays on
  int sendDelayMs = 0;     // the network takes this long to accept each SMS: its result waits
  // Listings to come, one entry each in turn: a line sent between the header of entry N
  // (1-based) and its body, or with an empty line the body left out.
  QList<QPair<int, QString>> listCodes;
  // The SIM: busy for this long after it took its PIN and after power-up (+CME ERROR: 14,
  // +CMS ERROR: 314); missing from its holder (+CME ERROR: 10, +CMS ERROR: 310).
  int simBusyMs = 0;
  bool noSim = false;
  // A module still booting refuses new-message indications (+CMS ERROR: 302) for this long
  // after power-up.
  int cnmiBootMs = 0;

  bool answersError(const QByteArray& commandLine) const;
  bool unsupports(const QByteArray& commandLine) const;
  // The equipment error this command line is answered with; 0 for none.
  int cmeError(const QByteArray& commandLine) const;
  // How long the answer to this command line is held back; random draws from *seed.
  int answerDelay(const QByteArray& commandLine, quint32* seed) const;
};

// A command line matches a pattern without regard to case; a trailing "*" matches a prefix.
bool matchesCommand(const QString& pattern, const QByteArray& commandLine);

// Applies one control command (see kFaultCommandHelp); false with *error set when malformed.
bool applyFaultCommand(Faults& faults, const QString& line, QString* error);

inline constexpr const char* kFaultCommandHelp =
    "  silent on|off         answer nothing\n"
    "  busy on|off           AT+CPAS answers 3 (off: 0)\n"
    "  cpas N                AT+CPAS answers N\n"
    "  error-on COMMAND      answer ERROR to this command line (trailing * = prefix)\n"
    "  error-off COMMAND|all stop answering ERROR to it\n"
    "  cms-error N|off       answer +CMS ERROR: N to every SMS sent\n"
    "  send-errors A|B|off   answer the next SMS sent with A, the one after with B, ...:\n"
    "                        a +CMS ERROR code, error (plain ERROR) or ok\n"
    "  high-bytes on|off     put the byte 0xFF in front of every answer\n"
    "  drop-after N|off      drop the link when command N+1 of a connection arrives\n"
    "  delay MS|MIN-MAX      hold every answer back MS milliseconds, or at random\n"
    "                        between MIN and MAX (0 = off)\n"
    "  delay-on COMMAND MS|off  hold the answer to this command line back MS instead\n"
    "  split BYTES [MS]|off  write answers in chunks of BYTES, MS apart (default 50)\n"
    "  stall-body MS|off     the next listing stops MS inside its first body\n"
    "  creg N                AT+CREG? answers registration state N (0 none, 1 home, 2 searching)\n"
    "  urc MS|off            an unsolicited code (RING, +CREG, ^RSSI, ...) every MS, and one\n"
    "                        between every send command and its prompt\n"
    "  unsupported COMMAND   answer COMMAND NOT SUPPORT to this command line (* = prefix)\n"
    "  cme-error COMMAND N   answer +CME ERROR: N to it (ERROR until AT+CMEE=1); N off: stop\n"
    "  prompt-codes A|B|off  send line A before the next prompt, B before the one after, ...\n"
    "  echo-stuck on|off     ATE0 is answered OK, but the echo stays on\n"
    "  send-delay MS|off     the network takes MS to accept each SMS: its result comes then\n"
    "  list-code N TEXT      the next listing sends line TEXT between the header of its entry N\n"
    "                        and the body (repeated: the listings after it, in turn)\n"
    "  list-cut N            the next listing leaves out the body of its entry N\n"
    "  sim-busy MS|off       the SIM is busy MS after it took its PIN and after power-up\n"
    "  no-sim on|off         no SIM in the holder\n"
    "  cnmi-boot MS|off      AT+CNMI is refused MS after power-up (the module boots)\n"
    "  reset                 all faults off\n";

}  // namespace kolvane::modemsim
