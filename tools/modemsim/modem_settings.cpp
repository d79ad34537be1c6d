#include "modemsim/modem_sim.h"

// Commands that read or change the modem settings.

#include "modemsim/at_replies.h"
#include "modemsim/deliver_pdu.h"

#include <map>

namespace kolvane::modemsim {

using namespace replies;

QByteArray ModemSim::basic(const AtCommand& cmd) {
  const QByteArray& n = cmd.name;
  if (n.isEmpty()) return kOk;
  if (n == "E0" || n == "E" || n == "E1") {
    echo_ = n == "E1" || config_.faults.echoStuck;
    return kOk;
  }
  if (n == "Z" || n == "&F") {
    resetSettings();
    return kOk;
  }
  if (n == "I") return info("kolvane-modemsim");
  return kError;
}

void ModemSim::resetSettings() {
  echo_ = config_.echo;
  textMode_ = false;
  showHeader_ = false;
  charset_ = Charset::Gsm;
  csmp_ = {17, 167, 0, 0};
  cnmiMode_ = 0;
  cnmiMt_ = 0;
}

QByteArray ModemSim::cpas(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Execute)
    return info("+CPAS: " + QByteArray::number(config_.faults.cpas));
  if (cmd.kind == AtCommand::Kind::Test) return info("+CPAS: (0-5)");
  return kError;
}

QByteArray ModemSim::csca(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Read)
    return info("+CSCA: " + quoted(teString(serviceCentre_)) + "," +
                QByteArray::number(serviceCentre_.startsWith(u'+') ? 145 : 129));
  if (cmd.kind == AtCommand::Kind::Test) return kOk;
  if (cmd.kind != AtCommand::Kind::Set || !cmd.quoted(0)) return kError;
  const std::optional<QString> number = fromTeString(cmd.param(0));
  if (!number) return kError;
  serviceCentre_ = *number;
  return kOk;
}

QByteArray ModemSim::cmgf(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Read) return info(textMode_ ? "+CMGF: 1" : "+CMGF: 0");
  if (cmd.kind == AtCommand::Kind::Test) return info("+CMGF: (0,1)");
  if (cmd.kind != AtCommand::Kind::Set || cmd.params.size() != 1) return kError;
  if (cmd.param(0) != "0" && cmd.param(0) != "1") return kError;
  textMode_ = cmd.param(0) == "1";
  return kOk;
}

QByteArray ModemSim::csdh(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Read) return info(showHeader_ ? "+CSDH: 1" : "+CSDH: 0");
  if (cmd.kind == AtCommand::Kind::Test) return info("+CSDH: (0,1)");
  if (cmd.kind != AtCommand::Kind::Set || cmd.params.size() != 1) return kError;
  const QByteArray p = cmd.param(0);
  if (p != "0" && p != "1" && !p.isEmpty()) return kError;
  showHeader_ = p == "1";
  return kOk;
}

QByteArray ModemSim::csq(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Execute)
    return info("+CSQ: " + QByteArray::number(config_.signal) + ",99");
  if (cmd.kind == AtCommand::Kind::Test) return info("+CSQ: (0-31,99),(0-7,99)");
  return kError;
}

QByteArray ModemSim::cscs(const AtCommand& cmd) {
  static constexpr std::array<const char*, 3> kNames = {"GSM", "IRA", "UCS2"};
  if (cmd.kind == AtCommand::Kind::Read)
    return info("+CSCS: " + quoted(kNames[static_cast<int>(charset_)]));
  if (cmd.kind == AtCommand::Kind::Test) return info("+CSCS: (\"GSM\",\"IRA\",\"UCS2\")");
  if (cmd.kind != AtCommand::Kind::Set || cmd.params.size() != 1) return kError;
  const QByteArray name = cmd.param(0).toUpper();
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (name == kNames[i]) {
      charset_ = static_cast<Charset>(i);
      return kOk;
    }
  }
  return kError;
}

QByteArray ModemSim::csmp(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Read) {
    QByteArrayList values;
    for (const int v : csmp_) values.append(QByteArray::number(v));
    return info("+CSMP: " + values.join(','));
  }
  if (cmd.kind == AtCommand::Kind::Test) return kOk;
  if (cmd.kind != AtCommand::Kind::Set || cmd.params.size() > 4) return kError;
  std::array<int, 4> values = csmp_;
  for (qsizetype i = 0; i < cmd.params.size(); ++i) {
    if (cmd.param(i).isEmpty() || (i == 1 && cmd.quoted(i))) continue;  // kept; absolute validity
    bool ok = false;
    const int v = cmd.param(i).toInt(&ok);
    if (!ok || v < 0 || v > 255) return kError;
    values[i] = v;
  }
  csmp_ = values;
  return kOk;
}

QByteArray ModemSim::cmee(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Read) return info("+CMEE: " + QByteArray::number(cmee_));
  if (cmd.kind == AtCommand::Kind::Test) return info("+CMEE: (0-2)");
  if (cmd.kind != AtCommand::Kind::Set || cmd.params.size() > 1) return kError;
  bool ok = cmd.param(0).isEmpty();
  const int n = ok ? 0 : cmd.param(0).toInt(&ok);
  if (!ok || n < 0 || n > 2) return meError(kMeNotSupported);
  cmee_ = n;
  return kOk;
}

QByteArray ModemSim::meError(int code) const {
  if (cmee_ == 0) return kError;
  if (cmee_ == 1) return "\r\n+CME ERROR: " + QByteArray::number(code) + "\r\n";
  static const std::map<int, const char*> kTexts = {
      {kMeNotAllowed, "operation not allowed"}, {kMeNotSupported, "operation not supported"},
      {kMeSimPinRequired, "SIM PIN required"},  {kMeSimPukRequired, "SIM PUK required"},
      {kMeWrongPassword, "incorrect password"}, {kMeUnknown, "unknown"},
      {kMeSimNotInserted, "SIM not inserted"},  {kMeSimBusy, "SIM busy"}};
  const auto it = kTexts.find(code);
  return QByteArray("\r\n+CME ERROR: ") + (it != kTexts.end() ? it->second : "unknown") + "\r\n";
}

QByteArray ModemSim::accepted(const AtCommand& cmd) {
  return cmd.kind == AtCommand::Kind::Set ? QByteArray(kOk) : QByteArray(kError);
}

}  // namespace kolvane::modemsim
