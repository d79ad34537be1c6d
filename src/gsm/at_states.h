#pragma once

namespace kolvane {

// The automaton's states. Each names the command it writes (or what it hands back to the main
// cycle); the values are the numbers its log lines show.
enum class AtState : int {
  None = -1,  // no command in flight: the automaton waits for a start call
  Stop = 0,   // dead end of the relation: nothing more is written
  Attention = 1,
  Activity = 2,
  Busy = 3,  // the modem is busy: nothing is written, the watchdog ends the relation
  EchoOff = 4,
  ServiceCentre = 5,
  Format = 7,
  FormatPdu = 8,
  FormatText = 9,
  ShowTextParams = 10,
  Signal = 11,
  Storage = 12,
  StorageSim = 13,
  StoragePhone = 14,
  List = 15,
  ListPdu = 16,
  ListText = 17,
  ListDone = 18,  // the listing is complete: the main cycle dispatches it
  Delete = 19,
  DeleteDone = 20,  // the delete phase is over: the main cycle goes on
  Charset = 50,
  CharsetGsm = 51,
  CharsetUcs2 = 52,
  Params = 53,
  ParamsGsm = 54,
  ParamsUcs2 = 55,
  SendJob = 56,
  PinQuery = 60,
  PinEntry = 61,
  Registration = 62,
  Indication = 63,
  NumericErrors = 64,
  Failed = 99,     // no state of its own: ends as Stop
  Finished = 255,  // the GSM character set is back after the send phase
};

constexpr int number(AtState s) {
  return static_cast<int>(s);
}

}  // namespace kolvane
