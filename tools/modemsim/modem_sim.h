#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "modemsim/at_command.h"
#include "modemsim/faults.h"
#include "modemsim/link_faults.h"
#include "modemsim/message_store.h"
#include "modemsim/reply_queue.h"
#include "modemsim/sent_sms.h"
#include "modemsim/sms_builder.h"
#include "modemsim/stored_sms.h"

namespace kolvane::modemsim {

struct ModemConfig {
  QString serviceCentre = QStringLiteral("+420600000100");
  int signal = 20;   // first value of +CSQ
  bool echo = true;  // command echo at power-on (ATE1)
  int simCapacity = 30;
  int phoneCapacity = 100;
  // Every sent SMS comes back from its number as "Re: " + text after this delay.
  bool echoBack = false;
  int echoBackDelayMs = 3000;
  bool newMessageIndication = false;  // "+CMTI" for every message stored, without AT+CNMI
  QString simPin;                     // empty: the SIM asks for no PIN
  QString simPuk = QStringLiteral("12345678");
  // Tries left for the PIN (0: the SIM wants its PUK), as a state file kept them; a SIM keeps
  // its count whatever the device and the program do.
  int pinTries = 3;
  // Told the tries left and the PIN whenever either changes.
  std::function<void(int triesLeft, const QString& pin)> simChanged;
  // The device sits at a send prompt (text mode), as an earlier program left it.
  bool leftAtPrompt = false;
  Faults faults;
  LinkFaults linkFaults;
  std::function<QDateTime()> wallClock;  // time stamps; empty: the local time
};

// An AT-command GSM modem without I/O: bytes in with receive(), bytes out with takeOutput(),
// time passed in by the caller, so a test drives it on a manual clock.
class ModemSim {
 public:
  explicit ModemSim(ModemConfig config = {});

  void receive(const QByteArray& bytes, Tick now);
  // The answer bytes due at now; also stores the echo-back messages that have become due.
  QByteArray takeOutput(Tick now);
  QByteArray feed(const QByteArray& bytes, Tick now) {
    receive(bytes, now);
    return takeOutput(now);
  }
  // When takeOutput next has something to do; nullopt when nothing is pending.
  std::optional<Tick> nextDue() const;

  // The link should be dropped (drop-after fault); true once. Input is ignored until
  // connectionOpened().
  bool takeHangup();
  // A new connection to the device: what it had to say to the last one is lost, its noise
  // fault starts. The device keeps its state: settings, storages, an open prompt, half-typed
  // input.
  void connectionOpened(Tick now = 0);
  // The module is switched off and on: the prompt and half-typed input are gone, the settings
  // are the power-on ones (echo on), the SIM asks for its PIN again, and it says so as it boots
  // ("RDY", "+CPIN: ...", "Call Ready", "SMS Ready").
  void powerUp(Tick now);

  // Stores the injected message (all parts or nothing); the storage indices, empty when full.
  QList<int> inject(const Injection& sms, Tick now);
  void injectAt(const Injection& sms, Tick due);

  std::vector<SentSms> takeSent();

  Faults& faults() { return config_.faults; }
  LinkFaults& linkFaults() { return config_.linkFaults; }
  MessageStore& storage(Storage s) { return stores_[static_cast<int>(s)]; }
  bool echo() const { return echo_; }
  bool textMode() const { return textMode_; }
  // Tries left for the PIN; 0 once the SIM wants its PUK.
  int pinTriesLeft() const { return simLock_ == SimLock::Puk ? 0 : pinTries_; }
  // Why the last SMS body was refused, for tracing.
  const QString& lastRejection() const { return lastRejection_; }

 private:
  enum class Charset { Gsm, Ira, Ucs2 };
  struct PendingSend {
    bool pdu = false;
    QString number;
    int length = 0;
    QByteArray body;
  };

  void commandByte(char byte, Tick now);
  void bodyByte(char byte, Tick now);
  void runLine(const QByteArray& line, Tick now);
  // The answer goes out after delayMs; -1: the delay of any answer.
  void respond(const QByteArray& answer, Tick now, int delayMs = -1);
  // The link drops once the answers queued so far are out.
  void dropAfterOutput();
  QByteArray dispatch(const AtCommand& cmd);

  QByteArray basic(const AtCommand& cmd);
  QByteArray cpas(const AtCommand& cmd);
  QByteArray csca(const AtCommand& cmd);
  QByteArray cmgf(const AtCommand& cmd);
  QByteArray csdh(const AtCommand& cmd);
  QByteArray csq(const AtCommand& cmd);
  QByteArray cscs(const AtCommand& cmd);
  QByteArray csmp(const AtCommand& cmd);
  QByteArray cpms(const AtCommand& cmd);
  QByteArray cmgl(const AtCommand& cmd);
  QByteArray cmgd(const AtCommand& cmd);
  QByteArray cmgs(const AtCommand& cmd);
  QByteArray accepted(const AtCommand& cmd);
  QByteArray cpin(const AtCommand& cmd);
  QByteArray creg(const AtCommand& cmd);
  QByteArray cnmi(const AtCommand& cmd);
  QByteArray cmee(const AtCommand& cmd);
  // An equipment error as AT+CMEE asks for it: "ERROR", "+CME ERROR: n" or its text.
  QByteArray meError(int code) const;
  QByteArray unsolicitedCode();
  void emitUnsolicited(Tick now);
  bool simLocked() const;
  // Within the window of a fault, counted from its start.
  bool within(const std::optional<Tick>& from, int ms) const;
  void simStateChanged();
  bool announcesArrivals() const { return config_.newMessageIndication || cnmiMt_ == 1; }
  QByteArray finishSend(Tick now);
  std::optional<SentSms> decodeTextBody(const PendingSend& send);
  void echoBack(const SentSms& sms, Tick now);

  QByteArray listEntry(int index, const StoredSms& sms) const;
  QByteArray teString(const QString& text) const;
  std::optional<QString> fromTeString(const QByteArray& bytes) const;
  QDateTime wallTime() const;
  MessageStore& mem(int which) { return storage(mems_[which]); }
  void resetSettings();

  ModemConfig config_;
  std::array<MessageStore, 2> stores_;
  bool echo_ = true;
  bool textMode_ = false;
  bool showHeader_ = false;
  Charset charset_ = Charset::Gsm;
  std::array<int, 4> csmp_ = {17, 167, 0, 0};  // first octet, validity, protocol id, coding
  QString serviceCentre_;
  std::array<Storage, 3> mems_ = {Storage::SM, Storage::SM, Storage::SM};
  enum class SimLock { Ready, Pin, Puk };
  SimLock simLock_ = SimLock::Ready;
  int pinTries_ = 3;
  // The command being answered arrived at now_; the module last powered up, and the SIM last
  // took its PIN or powered up.
  Tick now_ = 0;
  std::optional<Tick> poweredAt_ = Tick{0};
  std::optional<Tick> simBusyFrom_ = Tick{0};
  int cnmiMode_ = 0;
  int cnmiMt_ = 0;
  int cmee_ = 0;
  int promptCode_ = 0;
  std::optional<Tick> nextUnsolicited_;
  std::size_t unsolicitedIndex_ = 0;
  int nextReference_ = 1;
  int nextMessageReference_ = 0;

  QByteArray line_;
  std::optional<PendingSend> send_;
  ReplyQueue out_;
  bool connected_ = true;
  bool hangup_ = false;
  bool hangupAfterOutput_ = false;
  quint32 delaySeed_ = 0x9E3779B9u;
  int commandsThisConnection_ = 0;

  std::vector<std::pair<Tick, Injection>> scheduled_;
  std::vector<SentSms> sent_;
  QString lastRejection_;
  std::map<QString, std::map<int, QString>> echoParts_;  // parts of concatenated sends
};

}  // namespace kolvane::modemsim
