#include "gate_device.h"

#include "modemsim/gsm7.h"
#include "modemsim/sent_sms.h"

namespace kolvane::gatesim {
namespace {

QByteArray ucs2Bytes(const QString& text) {
  QByteArray b;
  for (const QChar c : text)
    b.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
  return b;
}

QString ucs2Text(const QByteArray& b) {
  QString s;
  for (qsizetype i = 0; i + 1 < b.size(); i += 2) {
    s += QChar(static_cast<char16_t>((static_cast<std::uint8_t>(b[i]) << 8) |
                                     static_cast<std::uint8_t>(b[i + 1])));
  }
  return s;
}

QByteArray answer(const QByteArray& ies) {
  return GateFrameOfType(gate::kTypeAnswer, ies);
}

}  // namespace

void GateDevice::connectionOpened() {
  buffer_.clear();
  outstanding_ = false;
}

QByteArray GateDevice::receive(const QByteArray& bytes) {
  QByteArray out;
  for (const char c : bytes) {
    buffer_.append(c);
    const GateTake take = TakeGateFrame(buffer_);
    if (take.cut) rejected_ << QStringLiteral("cut");
    if (take.frame.isEmpty()) continue;
    if (config_.echo) out += take.frame;
    const GateParsed p = ParseGateFrame(take.frame, false);
    if (!p.reason.isEmpty()) rejected_ << p.reason;
    if (!p.dropped) out += withFaults(handle(p.ies));
  }
  return out;
}

QByteArray GateDevice::withFaults(const QByteArray& a) {
  if (a.isEmpty()) return a;
  QByteArray out;
  if (config_.malformed) {
    QByteArray bad = answer(GateIE(gate::kData1, "bad"));
    bad[2] = static_cast<char>(bad[2] + 3);
    out += bad;
    config_.malformed = false;
  }
  if (config_.truncated) {
    out += GateFrameOfType(gate::kTypeIndication, GateIE(gate::kData1, "cut off")).left(6);
    config_.truncated = false;
  }
  return out + a;
}

QByteArray GateDevice::handle(const GateIEs& ies) {
  if (ies.hasIdent) {
    delivered_ = 0;
    outstanding_ = false;
    return answer(GateIE(gate::kIdent, config_.name));
  }
  if (ies.hasReadAck && ies.hasCounter) return acknowledged(ies.counter);
  if (ies.hasData1 && ies.hasData2 && ies.hasCounter) return job(ies);
  return {};
}

QByteArray GateDevice::acknowledged(int counter) {
  if (outstanding_) {
    outstanding_ = false;
    if (counter != delivered_ + 1) {
      // A wrong counter: the SMS stays stored and nothing more is handed over now.
      rejected_ << QStringLiteral("acknowledge %1, expected %2").arg(counter).arg(delivered_ + 1);
      return answer(GateIE(gate::kReadAck) + GateIE16(gate::kCounter, counter));
    }
    handed_.push_back(stored_.front());
    stored_.pop_front();
    delivered_ = counter;
  }
  if (stored_.empty()) return answer(GateIE(gate::kReadAck) + GateIE16(gate::kCounter, counter));
  const StoredSms& sms = stored_.front();
  outstanding_ = true;
  const QDateTime t = sms.time.isValid() ? sms.time : QDateTime::currentDateTime();
  return GateFrameOfType(
      gate::kTypeIndication,
      GateIE(gate::kData1, sms.ucs2 ? ucs2Bytes(sms.text) : modemsim::gsm7::fromText(sms.text)) +
          GateIE(gate::kData2, sms.number.toLatin1()) +
          GateIE(gate::kSctp, t.toString(QStringLiteral("yy/MM/dd,HH:mm:ss")).toLatin1()) +
          GateIE8(gate::kModule, static_cast<std::uint8_t>(sms.module)) +
          GateIE16(gate::kCounter, ++smsCounter_) +
          GateIE16(gate::kTypeSms, sms.ucs2 ? 0x0A08 : 0x0A00));
}

bool GateDevice::moduleActive(int module) const {
  return module >= 1 && module <= config_.modules && !config_.inactive.contains(module);
}

QByteArray GateDevice::job(const GateIEs& ies) {
  JobRecord r;
  r.time = QDateTime::currentDateTime();
  r.counter = ies.counter;
  r.module = ies.module;
  r.number = QString::fromLatin1(ies.data2);
  r.ucs2 = ies.typeSms.size() == 2 && ies.typeSms[1] == 8;
  r.text = r.ucs2 ? ucs2Text(ies.data1) : modemsim::gsm7::toText(ies.data1);
  int cause = config_.cause;
  if (cause == 0 && r.module != 255 && !moduleActive(r.module)) cause = gate::kCauseInactiveModule;
  QByteArray out;
  if (cause != 0) {
    r.outcome = QStringLiteral("cause %1").arg(cause);
    out = answer(GateIE(gate::kCause, QByteArray(4, '\0') + static_cast<char>(cause)));
  } else if (config_.confirm) {
    r.outcome = QStringLiteral("confirmed");
    out = answer(GateIE(gate::kData1, "OK") + GateIE16(gate::kCounter, ies.counter & 0xFFFF));
    if (config_.reply) {
      const int module = moduleActive(r.module) ? r.module : 1;
      store({r.number, QStringLiteral("Re: ") + r.text, r.ucs2, module, {}});
    }
  } else {
    r.outcome = QStringLiteral("unconfirmed");
  }
  jobs_.push_back(r);
  return out;
}

bool applyControl(DeviceConfig& c, const QString& line, QString* error) {
  const QStringList w = line.simplified().split(u' ');
  const QString cmd = w.value(0).toLower();
  const QString arg = w.value(1).toLower();
  const auto onOff = [&](bool* flag) {
    if (arg != u"on" && arg != u"off") return false;
    *flag = arg == u"on";
    return true;
  };
  bool ok = false;
  if (cmd == u"cause") {
    const int n = arg.toInt(&ok);
    ok = arg == u"off" || (ok && (n == 240 || n == 254 || n == 255));
    if (ok) c.cause = arg == u"off" ? 0 : n;
  } else if (cmd == u"confirm") {
    ok = onOff(&c.confirm);
  } else if (cmd == u"echo") {
    ok = onOff(&c.echo);
  } else if (cmd == u"reply") {
    ok = onOff(&c.reply);
  } else if (cmd == u"malformed" || cmd == u"truncated") {
    ok = w.size() == 1;
    (cmd == u"malformed" ? c.malformed : c.truncated) = ok;
  } else if (cmd == u"inactive" || cmd == u"active") {
    const int n = arg.toInt(&ok);
    ok = ok && n >= 1 && n <= 32;
    if (ok && cmd == u"inactive") c.inactive.insert(n);
    if (ok && cmd == u"active") c.inactive.remove(n);
  }
  if (!ok && error) *error = QStringLiteral("unknown control command: ") + line;
  return ok;
}

QString jobLine(const JobRecord& j) {
  return QStringList{j.time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")),
                     QString::number(j.counter),
                     QString::number(j.module),
                     modemsim::escapeField(j.number),
                     modemsim::escapeField(j.text),
                     j.ucs2 ? QStringLiteral("ucs2") : QStringLiteral("gsm"),
                     j.outcome}
      .join(u'\t');
}

}  // namespace kolvane::gatesim
