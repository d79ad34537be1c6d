#include "modemsim/modem_sim.h"

// Sending: the send command, the prompt and the body in text or PDU mode.

#include <algorithm>

#include "modemsim/at_replies.h"
#include "modemsim/gsm7.h"
#include "modemsim/hex_text.h"
#include "modemsim/submit_pdu.h"

namespace kolvane::modemsim {

using namespace replies;

QByteArray ModemSim::cmgs(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Test) return kOk;
  if (cmd.kind != AtCommand::Kind::Set) return kError;
  PendingSend send;
  if (textMode_) {
    const std::optional<QString> number = fromTeString(cmd.param(0));
    if (!cmd.quoted(0) || !number || number->isEmpty()) return cmsError(kBadTextParameter);
    send.number = *number;
  } else {
    bool ok = false;
    send.pdu = true;
    send.length = cmd.param(0).toInt(&ok);
    // A TPDU has at least first octet, reference, address length and type, PID, DCS and UDL.
    if (!ok || cmd.quoted(0) || send.length < 7 || send.length > 164)
      return cmsError(kBadPduParameter);
  }
  send_ = send;
  QByteArray before;
  // Modules report what happens to them whenever it happens, between a command and its prompt
  // as well.
  const QStringList& codes = config_.faults.promptCodes;
  if (!codes.isEmpty()) before = "\r\n" + codes[promptCode_++ % codes.size()].toLatin1() + "\r\n";
  // Sticks that chatter do so between the command and its prompt as well.
  if (config_.faults.unsolicitedMs > 0) before += unsolicitedCode();
  return before + kPrompt;
}

QByteArray ModemSim::finishSend(Tick now) {
  const PendingSend send = std::move(*send_);
  send_.reset();
  if (LinkFaults::use(config_.linkFaults.silentBodies)) return {};
  std::optional<SentSms> sms;
  if (send.pdu) {
    const std::optional<SubmitInfo> submit =
        decodeSubmit(send.body.trimmed(), send.length, &lastRejection_);
    if (!submit) return cmsError(kBadPduParameter);
    sms = SentSms{};
    sms->pduMode = true;
    sms->number = submit->number;
    sms->text = submit->text;
    sms->concat = submit->concat;
    sms->statusReport = submit->statusReport;
    sms->dcs = submit->dcs;
    sms->raw = send.body.trimmed().toUpper();
  } else {
    sms = decodeTextBody(send);
    if (!sms) return cmsError(kBadTextParameter);
  }
  if (!config_.faults.sendScript.isEmpty()) {
    const QString step = config_.faults.sendScript.takeFirst();
    if (step == u"error") return kError;
    if (step != u"ok") return cmsError(step.toInt());
  } else if (config_.faults.cmsError > 0) {
    return cmsError(config_.faults.cmsError);
  }

  sms->time = wallTime();
  sms->messageReference = nextMessageReference_;
  nextMessageReference_ = (nextMessageReference_ + 1) % 256;
  sent_.push_back(*sms);
  if (config_.echoBack) echoBack(*sms, now);
  const QByteArray accepted = "\r\n+CMGS: " + QByteArray::number(sms->messageReference) + "\r\n";
  if (LinkFaults::use(config_.linkFaults.dropAfterAccept)) {
    // The answer goes out, then the link drops before the "OK".
    hangup_ = true;
    connected_ = false;
    return accepted;
  }
  return accepted + kOk;
}

std::optional<SentSms> ModemSim::decodeTextBody(const PendingSend& send) {
  SentSms sms;
  sms.number = send.number;
  sms.dcs = csmp_[3];
  sms.statusReport = csmp_[0] & 0x20;
  sms.raw = send.body;
  const Coding coding = codingOfScheme(sms.dcs).value_or(Coding::Gsm7);
  if (coding == Coding::Gsm7) {
    const std::optional<QString> text = fromTeString(send.body);
    if (!text) {
      lastRejection_ = QStringLiteral("body not in the character set");
      return std::nullopt;
    }
    if (gsm7::fromText(*text).size() > kSingleSeptets) {
      lastRejection_ = QStringLiteral("body longer than 160 septets");
      return std::nullopt;
    }
    sms.text = *text;
    return sms;
  }
  // 8-bit and UCS2 bodies are written as hex whatever the character set.
  const std::optional<QByteArray> octets = octetsOfHex(send.body);
  if (!octets || octets->size() > kSingleOctets) {
    lastRejection_ = QStringLiteral("body not hex of at most 140 octets");
    return std::nullopt;
  }
  sms.text = coding == Coding::Ucs2 ? textOfUtf16Be(*octets) : QString::fromLatin1(*octets);
  return sms;
}

void ModemSim::echoBack(const SentSms& sms, Tick now) {
  QString text = sms.text;
  const ConcatInfo& c = sms.concat;
  if (c.count >= 2 && c.part >= 1 && c.part <= c.count) {
    const QString key =
        sms.number + u'\t' + QString::number(c.reference) + u'/' + QString::number(c.count);
    std::map<int, QString>& parts = echoParts_[key];
    parts[c.part] = sms.text;
    if (static_cast<int>(parts.size()) < c.count) return;
    text.clear();
    for (const auto& [no, part] : parts) text += part;
    echoParts_.erase(key);
  }
  Injection reply;
  reply.sender = sms.number;
  reply.text = QStringLiteral("Re: ") + text;
  injectAt(reply, now + static_cast<Tick>(std::max(config_.echoBackDelayMs, 0)));
}

}  // namespace kolvane::modemsim
