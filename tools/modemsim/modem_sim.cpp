#include "modemsim/modem_sim.h"

#include <algorithm>
#include <utility>

#include "modemsim/at_replies.h"
#include "modemsim/gsm7.h"
#include "modemsim/hex_text.h"

namespace kolvane::modemsim {

using namespace replies;

namespace {

constexpr char kCtrlZ = 26;
constexpr char kEscape = 27;
constexpr qsizetype kMaxLine = 1024;
constexpr qsizetype kMaxBody = 2048;

bool earlier(Tick a, Tick b) {
  return static_cast<std::int32_t>(a - b) < 0;
}

// The middle of the first body of a listing; 0 when it has none.
qsizetype midFirstBody(const QByteArray& answer) {
  const qsizetype header = answer.indexOf("+CMGL:");
  const qsizetype start = header < 0 ? -1 : answer.indexOf("\r\n", header);
  const qsizetype end = start < 0 ? -1 : answer.indexOf("\r\n", start + 2);
  if (end < 0 || end - start - 2 < 2) return 0;
  return start + 2 + (end - start - 2) / 2;
}

bool allBelow128(const QByteArray& bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 128; });
}

}  // namespace

ModemSim::ModemSim(ModemConfig config)
    : config_(std::move(config)),
      stores_{MessageStore(config_.simCapacity), MessageStore(config_.phoneCapacity)},
      echo_(config_.echo),
      serviceCentre_(config_.serviceCentre) {
  pinTries_ = std::max(0, config_.pinTries);
  if (!config_.simPin.isEmpty()) simLock_ = pinTries_ == 0 ? SimLock::Puk : SimLock::Pin;
  if (config_.leftAtPrompt) {
    textMode_ = true;
    send_ = PendingSend{false, QStringLiteral("+420700000000"), 0, {}};
  }
}

void ModemSim::receive(const QByteArray& bytes, Tick now) {
  for (const char byte : bytes) {
    if (!connected_ || config_.faults.silent) return;
    if (send_)
      bodyByte(byte, now);
    else
      commandByte(byte, now);
  }
}

QByteArray ModemSim::takeOutput(Tick now) {
  for (auto it = scheduled_.begin(); it != scheduled_.end();) {
    if (reached(it->first, now)) {
      const Injection sms = it->second;
      it = scheduled_.erase(it);
      inject(sms, now);
    } else {
      ++it;
    }
  }
  emitUnsolicited(now);
  QByteArray out = out_.take(now);
  if (hangupAfterOutput_ && out_.empty()) dropAfterOutput();
  return out;
}

void ModemSim::dropAfterOutput() {
  if (!out_.empty()) {
    hangupAfterOutput_ = true;
    return;
  }
  hangupAfterOutput_ = false;
  hangup_ = true;
  connected_ = false;
}

std::optional<Tick> ModemSim::nextDue() const {
  std::optional<Tick> due = out_.nextDue();
  if (nextUnsolicited_ && (!due || earlier(*nextUnsolicited_, *due))) due = nextUnsolicited_;
  for (const auto& [tick, sms] : scheduled_)
    if (!due || earlier(tick, *due)) due = tick;
  return due;
}

bool ModemSim::takeHangup() {
  return std::exchange(hangup_, false);
}

void ModemSim::connectionOpened(Tick now) {
  out_.clear();
  connected_ = true;
  hangup_ = false;
  hangupAfterOutput_ = false;
  commandsThisConnection_ = 0;
  const LinkFaults& f = config_.linkFaults;
  if (f.noiseBytes <= 0) return;
  // A chunk every 20 ms over the time given.
  constexpr int kNoisePauseMs = 20;
  const int chunks = std::max(1, f.noiseSpreadMs / kNoisePauseMs);
  out_.push(noise(f.noiseBytes), now, 0, (f.noiseBytes + chunks - 1) / chunks, kNoisePauseMs);
}

void ModemSim::powerUp(Tick now) {
  send_.reset();
  line_.clear();
  out_.clear();
  resetSettings();
  echo_ = true;
  cmee_ = 0;
  mems_ = {Storage::SM, Storage::SM, Storage::SM};
  if (!config_.simPin.isEmpty() && simLock_ == SimLock::Ready) simLock_ = SimLock::Pin;
  poweredAt_ = now;
  simBusyFrom_ = now;
  static constexpr std::array<const char*, 3> kSim = {"READY", "SIM PIN", "SIM PUK"};
  const QByteArray lines[] = {"RDY", QByteArray("+CPIN: ") + kSim[static_cast<int>(simLock_)],
                              "Call Ready", "SMS Ready"};
  int at = 0;
  for (const QByteArray& line : lines) out_.push("\r\n" + line + "\r\n", now, at += 600);
}

QList<int> ModemSim::inject(const Injection& sms, Tick now) {
  const int reference = sms.reference >= 0 ? sms.reference & 0xFFFF : nextReference_;
  const std::vector<StoredSms> messages =
      buildMessages(sms, reference, (sms.time.isValid() ? sms.time : wallTime()).addSecs(-sms.age));
  MessageStore& store = storage(sms.storage);
  if (static_cast<int>(messages.size()) > store.freeSlots()) return {};
  if (sms.reference < 0 && !messages.front().header.isEmpty())
    nextReference_ = nextReference_ % 255 + 1;
  QList<int> indices;
  for (const StoredSms& message : messages) {
    const int index = store.add(message);
    indices.append(index);
    if (announcesArrivals())
      respond("\r\n+CMTI: " + quoted(storageName(sms.storage)) + "," + QByteArray::number(index) +
                  "\r\n",
              now);
  }
  return indices;
}

void ModemSim::injectAt(const Injection& sms, Tick due) {
  scheduled_.emplace_back(due, sms);
}

std::vector<SentSms> ModemSim::takeSent() {
  return std::exchange(sent_, {});
}

void ModemSim::commandByte(char byte, Tick now) {
  if (echo_) out_.push(QByteArray(1, byte), now);
  if (byte == '\r') {
    runLine(std::exchange(line_, {}), now);
  } else if (byte == '\b') {
    if (!line_.isEmpty()) line_.chop(1);
  } else if (byte != '\n' && line_.size() < kMaxLine) {
    line_.append(byte);
  }
}

void ModemSim::bodyByte(char byte, Tick now) {
  if (byte == kCtrlZ) {
    const QByteArray result = finishSend(now);
    respond(result, now, config_.faults.sendDelayMs > 0 ? config_.faults.sendDelayMs : -1);
  } else if (byte == kEscape) {
    send_.reset();
    respond(kOk, now);
  } else {
    if (echo_) out_.push(QByteArray(1, byte), now);
    if (send_->body.size() < kMaxBody) send_->body.append(byte);
  }
}

void ModemSim::runLine(const QByteArray& line, Tick now) {
  const std::optional<AtCommand> cmd = parseAtCommand(line);
  if (!cmd) return;  // only lines beginning with AT are commands
  ++commandsThisConnection_;
  now_ = now;
  if (config_.faults.dropAfter > 0 && commandsThisConnection_ > config_.faults.dropAfter) {
    hangup_ = true;
    connected_ = false;
    out_.clear();
    return;
  }
  if (cmd->name == "+CMGS" && cmd->kind == AtCommand::Kind::Set &&
      LinkFaults::use(config_.linkFaults.dropAtSend)) {
    hangup_ = true;
    connected_ = false;
    out_.clear();
    return;
  }
  if (config_.faults.answersError(line)) {
    respond(kError, now);
    return;
  }
  if (config_.faults.unsupports(line)) {
    respond("\r\nCOMMAND NOT SUPPORT\r\n", now);
    return;
  }
  if (const int code = config_.faults.cmeError(line); code > 0) {
    respond(meError(code), now);
    return;
  }
  const QByteArray answer = dispatch(*cmd);
  Faults& f = config_.faults;
  const int delay = f.answerDelay(line, &delaySeed_);
  const qsizetype stall = cmd->name == "+CMGL" && f.stallBodyMs > 0 ? midFirstBody(answer) : 0;
  if (stall == 0) {
    respond(answer, now, delay);
  } else {
    respond(answer.left(stall), now, delay);
    out_.push(answer.mid(stall), now, delay + std::exchange(f.stallBodyMs, 0));
  }
  QStringList& drops = config_.linkFaults.dropAfterAnswer;
  const auto drop = std::find_if(drops.begin(), drops.end(),
                                 [&](const QString& p) { return matchesCommand(p, line); });
  if (drop != drops.end()) {
    drops.erase(drop);
    dropAfterOutput();
  }
}

void ModemSim::respond(const QByteArray& answer, Tick now, int delayMs) {
  Faults& f = config_.faults;
  if (answer.isEmpty() || f.silent) return;
  if (delayMs < 0) delayMs = f.answerDelay({}, &delaySeed_);
  out_.push(f.highBytes ? '\xFF' + answer : answer, now, delayMs, f.splitBytes, f.splitPauseMs);
}

QByteArray ModemSim::dispatch(const AtCommand& cmd) {
  using Handler = QByteArray (ModemSim::*)(const AtCommand&);
  struct Entry {
    const char* name;
    Handler handler;
  };
  static constexpr std::array<Entry, 15> kTable = {{{"+CPAS", &ModemSim::cpas},
                                                    {"+CSCA", &ModemSim::csca},
                                                    {"+CMGF", &ModemSim::cmgf},
                                                    {"+CSDH", &ModemSim::csdh},
                                                    {"+CSQ", &ModemSim::csq},
                                                    {"+CSCS", &ModemSim::cscs},
                                                    {"+CSMP", &ModemSim::csmp},
                                                    {"+CPMS", &ModemSim::cpms},
                                                    {"+CMGL", &ModemSim::cmgl},
                                                    {"+CMGD", &ModemSim::cmgd},
                                                    {"+CMGS", &ModemSim::cmgs},
                                                    {"+CNMI", &ModemSim::cnmi},
                                                    {"+CMEE", &ModemSim::cmee},
                                                    {"+CREG", &ModemSim::creg},
                                                    {"+CPIN", &ModemSim::cpin}}};
  // A locked SIM keeps its messages and its service centre to itself.
  static constexpr std::array<const char*, 6> kNeedSim = {"+CSCA", "+CPMS", "+CMGL",
                                                          "+CMGD", "+CMGS", "+CNMI"};
  if (cmd.kind == AtCommand::Kind::Basic) return basic(cmd);
  if (cmd.kind == AtCommand::Kind::Malformed) return kError;
  if (std::find(kNeedSim.begin(), kNeedSim.end(), cmd.name) != kNeedSim.end()) {
    if (config_.faults.noSim) return cmsError(kSimNotInserted);
    if (within(simBusyFrom_, config_.faults.simBusyMs)) return cmsError(kSimBusy);
    if (simLocked()) return cmsError(kSimPinRequired);
  }
  for (const Entry& e : kTable)
    if (cmd.name == e.name) return (this->*e.handler)(cmd);
  return kError;
}

QByteArray ModemSim::teString(const QString& text) const {
  switch (charset_) {
    case Charset::Ucs2:
      return utf16BeOf(text).toHex().toUpper();
    case Charset::Ira: {
      QByteArray out;
      for (const QChar c : text)
        out.append(c.unicode() < 128 ? static_cast<char>(c.unicode()) : '?');
      return out;
    }
    default:
      return gsm7::fromText(text);
  }
}

std::optional<QString> ModemSim::fromTeString(const QByteArray& bytes) const {
  if (charset_ == Charset::Ucs2) {
    const std::optional<QByteArray> octets = octetsOfHex(bytes);
    if (!octets || octets->size() % 2 != 0) return std::nullopt;
    return textOfUtf16Be(*octets);
  }
  if (!allBelow128(bytes)) return std::nullopt;
  return charset_ == Charset::Gsm ? gsm7::toText(bytes) : QString::fromLatin1(bytes);
}

QDateTime ModemSim::wallTime() const {
  return config_.wallClock ? config_.wallClock() : QDateTime::currentDateTime();
}

}  // namespace kolvane::modemsim
