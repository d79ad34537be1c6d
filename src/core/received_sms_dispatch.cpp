#include "core/received_sms_dispatch.h"

#include <QTimer>
#include <algorithm>

#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "core/run_command.h"
#include "core/waiting_sms_parts.h"
#include "gsm/at_automaton.h"
#include "gsm/sms_list_reader.h"
#include "mail/mail_date.h"
#include "mail/mail_rec.h"
#include "mail/pop3_expire.h"
#include "mail/pop3_received.h"
#include "mail/pop3_routing.h"
#include "mail/pop3_server.h"
#include "mail/quoted_printable.h"
#include "mail/smtp_server.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr int kOverdueCheckMs = 3600 * 1000;

struct Dispatch {
  Gateway& g;
  QFile& store;
  TrafficLogFile& log;
  bool writeFailed = false;
  QList<ListedEntry> stored;  // remembered once the whole listing is stored
  QList<ListedEntry> acted;   // commands and speech reported with this listing
  int repeats = 0;            // listed entries stored before and not stored again
};

ListedEntry listedEntry(const Gateway& g, const tSmsRec& sms) {
  return {g.link().MemIdx, sms.MemPos, sms.TelStr, sms.Time, sms.Text};
}

// A command or speech SMS acts once per listed entry: false when it acted before. An entry
// whose report is stored already and that is listed again was not deleted by the device: it is
// logged once and left alone; one whose report a failed store write lost is reported again.
bool actsNow(Dispatch& d, const tSmsRec& sms, const char* kind, const char* done, bool* report) {
  ListedEntryGuard& guard = d.g.state().SmsActions;
  const ListedEntry entry = listedEntry(d.g, sms);
  const ListedEntryGuard::State state = guard.state(entry);
  *report = state != ListedEntryGuard::State::Stored;
  if (state == ListedEntryGuard::State::New) {
    guard.ran(entry);
  } else if (guard.firstRepeat(entry)) {
    d.g.Log(true, QStringLiteral("%1 SMS from %2 at %3 %4 was not deleted: it is not %5 again")
                      .arg(QLatin1String(kind), QString::fromUtf8(sms.TelStr),
                           QLatin1String(entry.storage == 1 ? "ME" : "SM"))
                      .arg(entry.index)
                      .arg(QLatin1String(done)));
  }
  if (*report) d.acted << entry;
  return state == ListedEntryGuard::State::New;
}

// The text of an SMS as the UTF-16 text it carries.
QString decodedText(const QByteArray& escaped) {
  return QString::fromUtf8(QpDecode(escaped));
}

// Appends a message for the user's mailbox from `from` (a bare address).
void appendMessage(Dispatch& d, const QByteArray& pc, const QByteArray& from,
                   const QByteArray& subject, const QByteArray& body) {
  GatewayState& gs = d.g.state();
  tMailRec rec;
  rec.PosID = NewPosID(d.g, d.store);
  rec.NamePC = pc;
  rec.From = '<' + from + '>';
  rec.Toe = '<' + gs.cfg.UserName.toUtf8() + '>';
  rec.Subj = subject;
  rec.Date = MailDateNow(d.g);
  rec.MimeBody = body;
  const QByteArray bytes = MailRecToStr(rec);
  if (!AppendWhole(d.store, bytes)) {
    d.g.Log(true, QStringLiteral("!!! Pop3.Tmp - WriteFile error !!!"));
    d.writeFailed = true;
  }
  gs.Lamps.pop3Bits |= kLampStore;
}

void appendReport(Dispatch& d, const tSmsRec& sms, const QString& pc, const char* kind,
                  const QString& result) {
  const bool isName = IsAlphanumericType(sms.TelType);
  appendMessage(d, pc.toUtf8(), SenderMailAddr(d.g, sms.TelStr, isName),
                SenderSubject(sms.TelStr, isName) + kind, sms.Text + QpEncode(result.toUtf8()));
}

// Only a sender whose listed address type is a telephone number may be trusted: anyone can
// give an alphanumeric sender the spelling of an allowed number.
bool senderIsNumber(const tSmsRec& sms) {
  const QByteArray digits = sms.TelStr.startsWith('+') ? sms.TelStr.mid(1) : sms.TelStr;
  // Types of number 6 (abbreviated) and 7 (reserved) are no telephone numbers either.
  return sms.TelType >= 0 && ((sms.TelType >> 4) & 0x07) <= 4 && !digits.isEmpty() &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

enum class CommandOutcome { NotCommand, Ran, Refused };

CommandOutcome commandRule(Dispatch& d, const tSmsRec& sms) {
  GatewayState& gs = d.g.state();
  const Settings& cfg = gs.cfg;
  if (!cfg.SmsToCmdSw) return CommandOutcome::NotCommand;
  const QString prefix = cfg.CommandMark + cfg.SmsToCmdCommand + cfg.CommandMark;
  // Decoded, so that parameters reach the command as the sender wrote them.
  const QString text = decodedText(sms.Text);
  if (!text.toUpper().startsWith(prefix.toUpper())) return CommandOutcome::NotCommand;
  const QString sender = QString::fromUtf8(sms.TelStr);
  // Without a sender nobody may be trusted to run a command.
  if (sms.TelStr.isEmpty() || !gs.SmsToCmdTelNo.contains(sender)) return CommandOutcome::Refused;
  if (!senderIsNumber(sms)) {
    d.g.Log(
        true,
        QStringLiteral("Command from %1 refused: the sender is no telephone number").arg(sender));
    return CommandOutcome::Refused;
  }

  const auto command =
      SmsCommandFromText(text.mid(prefix.size()), cfg.CommandMark, gs.SmsToCmdSubst);
  if (!command) {
    // Only listed names run; anything else reaches the mail programs like any text.
    d.g.Log(true, QStringLiteral("Command SMS from %1 names no listed command: delivered as a "
                                 "message")
                      .arg(sender));
    return CommandOutcome::Refused;
  }
  bool report = true;
  if (actsNow(d, sms, "Command", "run", &report) && d.g.hooks().runSmsCommand) {
    d.g.hooks().runSmsCommand(sms.TelStr, command->commandLine, command->params);
  }
  if (!report) return CommandOutcome::Ran;
  if (cfg.SmsToCmdEml) {
    appendReport(d, sms, cfg.SmsToCmdPC, " SMS to Command Line",
                 QStringLiteral("\r\nCommand Line: ") + command->commandLine);
  }
  d.log.write(sms.TelStr, LogText(sms.Text));
  return CommandOutcome::Ran;
}

bool speechRule(Dispatch& d, const tSmsRec& sms) {
  GatewayState& gs = d.g.state();
  const Settings& cfg = gs.cfg;
  if (!cfg.SmsToTtsSw) return false;
  const QString prefix = cfg.TtsMark + cfg.SmsToTtsTts + cfg.TtsMark;
  const QString text = decodedText(sms.Text);
  if (!text.toUpper().startsWith(prefix.toUpper())) return false;
  const QString spoken = text.mid(prefix.size());
  bool report = true;
  const bool speaks = actsNow(d, sms, "Speech", "spoken", &report);
  if (!report) return true;
  if (speaks && !spoken.isEmpty()) {
    // Logged when queued, not when spoken.
    d.g.Log(true,
            QStringLiteral("TtsVoiceSpeak begin \\/  \\/  \\/ |") + spoken + QLatin1Char('|'));
    if (d.g.hooks().speak) d.g.hooks().speak(spoken);
    d.g.Log(true,
            QStringLiteral("TtsVoiceSpeak end   /\\  /\\  /\\ |") + spoken + QLatin1Char('|'));
  }
  if (cfg.SmsToTtsEml) {
    appendReport(d, sms, cfg.SmsToTtsPC, " SMS to Text-to-Speech",
                 spoken.isEmpty() ? QStringLiteral("\r\nText-to-Speech - error")
                                  : QStringLiteral("\r\nText-to-Speech: ") + spoken);
  }
  d.log.write(sms.TelStr, LogText(sms.Text));
  return true;
}

// unrouted: the route marks of the text are not read (a refused "#command#..." would otherwise
// go to a PC named like the command word, that is to nobody).
void storeRule(Dispatch& d, const tSmsRec& sms, bool unrouted = false) {
  // Only the same entry listed again is the same SMS: another SMS may well come from the same
  // sender in the same second with the same text. A message joined from waiting parts or
  // overdue has no place of its own in the device.
  const bool listed = sms.MemPos >= 0;
  const ListedEntry entry = listedEntry(d.g, sms);
  if (listed && d.g.state().SmsStored.state(entry) != ListedEntryGuard::State::New) {
    ++d.repeats;
    d.g.Log(true, fillPlaceholders(d.g.Text(460), {QString::fromUtf8(sms.TelStr),
                                                   QLatin1String(entry.storage == 1 ? "ME" : "SM"),
                                                   QString::number(entry.index)}));
    return;
  }
  // A line starting with "." would end the record early.
  QByteArray text = sms.Text;
  for (qsizetype at; (at = text.indexOf("\r\n.")) >= 0;) text.insert(at + 2, ' ');
  if (AppendReceivedSms(d.g, d.store, d.log, sms.TelStr, sms.Time, text, !unrouted,
                        IsAlphanumericType(sms.TelType))) {
    if (listed) d.stored << entry;
  } else {
    d.writeFailed = true;
  }
}

// An entry the reader could not decode: its raw listing goes to the mail programs, so that
// nothing is lost when it is deleted.
void storeUndecodable(Dispatch& d, const tSmsRec& sms) {
  const QByteArray who = sms.TelStr.isEmpty() ? QByteArray::number(sms.MemPos) : sms.TelStr;
  const QByteArray from = sms.TelStr.isEmpty()
                              ? d.g.state().cfg.UserName.toUtf8()
                              : SenderMailAddr(d.g, sms.TelStr, IsAlphanumericType(sms.TelType));
  appendMessage(d, {}, from, "Undecodable SMS: " + who, sms.Text);
  d.g.Log(true, QStringLiteral("Undecodable SMS: ") + QString::fromUtf8(who));
  d.log.write(who, LogText(sms.Text));
}

// Incomplete messages whose wait is over go to the store as ordinary messages. Their parts
// are written to disk as waiting no more only once the whole store write has succeeded.
void storeOverdueMessages(Dispatch& d) {
  const DateTime now = d.g.clock().now();
  LinkState& link = d.g.link();
  StampNewParts(link, now);
  for (const tSmsRec& msg : TakeOverdueMessages(link, now)) {
    d.g.Log(true, QStringLiteral("Incomplete SMS from %1 stored without its missing parts")
                      .arg(QString::fromUtf8(msg.TelStr)));
    storeRule(d, msg);
  }
}

void scheduleOverdueCheck(Gateway& g) {
  QTimer::singleShot(kOverdueCheckMs, &g, [&g] {
    DeliverOverdueParts(g);
    scheduleOverdueCheck(g);
  });
}

}  // namespace

void DispatchReceivedSms(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  const QString storeName = QLatin1String(files::kPop3Tmp);
  TrafficLogFile log = g.traffic().open(gs.cfg.Pop3TxtMask);
  gs.StatusText = g.Text(74) + QLatin1Char(' ') + storeName;
  auto store = OpenStoreToAppend(g, gs.file(files::kPop3Tmp));
  if (!store->isOpen()) {
    g.Log(true, fillPlaceholders(g.Text(121), {storeName}));
    // The SMS stay in the device for the next listing; the relation goes on to its sending.
    FreeSMSArr(link);
    storageSwitchOrSendPhase(g);
    return;
  }
  Dispatch d{g, store->file(), log, false, {}, {}, 0};
  const qint64 storeSize = store->file().size();
  const SmsLongArray waitingBefore = link.SmsLongArr;
  const int listed = static_cast<int>(link.SmsRecvArr.size());
  for (int i = 0; i < listed; ++i) {
    tSmsRec sms;
    SmsRecvArrToSmsRec(g, i, sms);
    if (!sms.OK) continue;
    if (sms.Undecodable) {
      storeUndecodable(d, sms);
      continue;
    }
    const CommandOutcome command = commandRule(d, sms);
    if (command == CommandOutcome::Ran || speechRule(d, sms)) continue;
    storeRule(d, sms, command == CommandOutcome::Refused);
  }
  storeOverdueMessages(d);
  // A store that took only part of the listing (a full disk) gets none of it: the SMS stay in
  // the device and are read whole by the next listing instead of being deleted unstored.
  if (d.writeFailed) {
    store->file().resize(storeSize);
    store.reset();
    link.SmsLongArr = waitingBefore;
    FreeSMSArr(link);
    storageSwitchOrSendPhase(g);
    return;
  }
  SaveWaitingParts(g);
  store.reset();
  log.close();
  for (const ListedEntry& entry : std::as_const(d.stored)) gs.SmsStored.ran(entry);
  for (const ListedEntry& entry : std::as_const(d.acted)) gs.SmsActions.stored(entry);

  // What reached the store: an entry stored before is no new SMS.
  const int saved = listed - d.repeats;
  g.Log(true, fillPlaceholders(g.Text(35), {QString::number(saved)}));
  gs.cfg.SmsInCnt += saved;
  gs.CountersChanged = true;
  gs.StatusText = g.Text(120);
  GsmAutomat(g, AtState::Delete);
}

void DeliverOverdueParts(Gateway& g) {
  // During a relation the listing owns the groups; the dispatch settles them itself.
  if (g.state().RelationOn || !g.link().SmsRecvArr.isEmpty()) return;
  const DateTime now = g.clock().now();
  const bool due = std::any_of(
      g.link().SmsLongArr.begin(), g.link().SmsLongArr.end(), [now](const QList<tSmsRec>& grp) {
        return std::any_of(grp.begin(), grp.end(), [now](const tSmsRec& s) {
          return s.LoStat == 1 && s.Seen != 0 && now - s.Seen > kPartsWaitDays;
        });
      });
  if (!due) return;
  TrafficLogFile log = g.traffic().open(g.state().cfg.Pop3TxtMask);
  auto store = OpenStoreToAppend(g, g.state().file(files::kPop3Tmp));
  if (!store->isOpen()) return;  // tried again at the next check
  Dispatch d{g, store->file(), log, false, {}, {}, 0};
  const qint64 storeSize = store->file().size();
  const SmsLongArray waitingBefore = g.link().SmsLongArr;
  storeOverdueMessages(d);
  if (d.writeFailed) {
    // The parts keep waiting and are tried again at the next check.
    store->file().resize(storeSize);
    g.link().SmsLongArr = waitingBefore;
    return;
  }
  SaveWaitingParts(g);
}

void installReceiveHooks(Gateway& g) {
  g.hooks().cycle.dispatchReceivedSms = [&g] { DispatchReceivedSms(g); };
  g.hooks().knownClientPc = [&g](const QString& name) {
    const auto known = [&name](const QList<tSocketClient>& clients) {
      return std::any_of(clients.begin(), clients.end(), [&name](const tSocketClient& c) {
        return c.Name.compare(name, Qt::CaseInsensitive) == 0;
      });
    };
    return known(g.pop3().Clients()) || known(g.smtp().Clients());
  };
  auto previous = std::move(g.hooks().checkPop3Store);
  g.hooks().checkPop3Store = [&g, previous] {
    if (previous) previous();
    Pop3Expire(g);
    LoadWaitingParts(g);
    DeliverOverdueParts(g);
    scheduleOverdueCheck(g);
  };
}

}  // namespace kolvane
