#include "modemsim/modem_sim.h"

// The SIM lock, the network registration, new-message indications and the codes a modem sends
// on its own.

#include "modemsim/at_replies.h"

namespace kolvane::modemsim {

using namespace replies;

namespace {

constexpr int kMaxPinTries = 3;

// What USB sticks and networks say unasked, in turn.
constexpr std::array<const char*, 11> kUnsolicited = {
    "RING",          "+CLIP: \"+420777000999\",145,,,,0",
    "+CRING: VOICE", "+CREG: 1",
    "^RSSI:17",      "^MODE:5,4",
    "+CGREG: 1",     "^BOOT:20123456,0,0,0,75",
    "NO CARRIER",    "+CDSI: \"SM\",7",
    "^SRVST:2"};

}  // namespace

QByteArray ModemSim::cpin(const AtCommand& cmd) {
  static constexpr std::array<const char*, 3> kStates = {"READY", "SIM PIN", "SIM PUK"};
  if (cmd.kind == AtCommand::Kind::Test) return kOk;
  if (config_.faults.noSim) return meError(kMeSimNotInserted);
  if (within(simBusyFrom_, config_.faults.simBusyMs)) return meError(kMeSimBusy);
  if (cmd.kind == AtCommand::Kind::Read)
    return info(QByteArray("+CPIN: ") + kStates[static_cast<int>(simLock_)]);
  if (cmd.kind != AtCommand::Kind::Set) return kError;
  if (simLock_ == SimLock::Ready) return meError(kMeNotAllowed);
  const QString given = QString::fromLatin1(cmd.param(0));
  if (simLock_ == SimLock::Puk) {
    if (given != config_.simPuk || cmd.params.size() < 2) return meError(kMeWrongPassword);
    config_.simPin = QString::fromLatin1(cmd.param(1));
  } else if (given != config_.simPin) {
    if (--pinTries_ <= 0) simLock_ = SimLock::Puk;
    simStateChanged();
    return meError(kMeWrongPassword);
  }
  simLock_ = SimLock::Ready;
  pinTries_ = kMaxPinTries;
  // Checking the PIN and reading the SIM take it a while.
  simBusyFrom_ = now_;
  simStateChanged();
  return kOk;
}

void ModemSim::simStateChanged() {
  if (config_.simChanged) config_.simChanged(pinTriesLeft(), config_.simPin);
}

bool ModemSim::within(const std::optional<Tick>& from, int ms) const {
  return from && ms > 0 && !reached(*from + static_cast<Tick>(ms), now_);
}

QByteArray ModemSim::creg(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Read)
    return info("+CREG: 0," + QByteArray::number(config_.faults.registration));
  return accepted(cmd);
}

QByteArray ModemSim::cnmi(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Read)
    return info("+CNMI: " + QByteArray::number(cnmiMode_) + "," + QByteArray::number(cnmiMt_) +
                ",0,0,0");
  if (cmd.kind == AtCommand::Kind::Test) return info("+CNMI: (0-3),(0,1),(0),(0),(0)");
  if (cmd.kind != AtCommand::Kind::Set) return kError;
  if (within(poweredAt_, config_.faults.cnmiBootMs)) return cmsError(kNotAllowed);
  bool modeOk = false;
  bool mtOk = true;
  const int mode = cmd.param(0).toInt(&modeOk);
  const int mt = cmd.params.size() > 1 ? cmd.param(1).toInt(&mtOk) : 0;
  // Messages handed over directly (+CMT) are not modelled: they are always stored.
  if (!modeOk || !mtOk || mode < 0 || mode > 3 || mt < 0 || mt > 1) return cmsError(kNotSupported);
  cnmiMode_ = mode;
  cnmiMt_ = mt;
  return kOk;
}

QByteArray ModemSim::unsolicitedCode() {
  const char* code = kUnsolicited[unsolicitedIndex_++ % kUnsolicited.size()];
  return QByteArray("\r\n") + code + "\r\n";
}

void ModemSim::emitUnsolicited(Tick now) {
  const int every = config_.faults.unsolicitedMs;
  if (every <= 0 || !connected_ || config_.faults.silent) {
    nextUnsolicited_.reset();
    return;
  }
  if (!nextUnsolicited_) nextUnsolicited_ = now + static_cast<Tick>(every);
  while (reached(*nextUnsolicited_, now)) {
    out_.push(unsolicitedCode(), now);
    *nextUnsolicited_ += static_cast<Tick>(every);
  }
}

bool ModemSim::simLocked() const {
  return simLock_ != SimLock::Ready;
}

}  // namespace kolvane::modemsim
