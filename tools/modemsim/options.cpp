#include "options.h"

#include <QCommandLineParser>

#include <map>
#include "modemsim/sim_io.h"

#include "modemsim/injection_text.h"
#include "modemsim/sent_sms.h"

namespace kolvane::modemsim {
namespace {

QString helpTail() {
  return QStringLiteral(
             "\nSMS options take NUMBER:TEXT; TEXT may hold \\n, \\t, \\r, \\\\ and \\xNN. "
             "--sms picks GSM 7-bit when the\nalphabet holds the text, else UCS2, and splits "
             "long texts into concatenated parts (153 septets or 67\ncharacters each). --concat "
             "makes a concatenated message even of a short text (two halves), or of\nthe "
             "parts separated by \"|\". --storage applies to the SMS options after it and to "
             "inject-file lines.\n\nInject file: every complete line appended while running is "
             "stored as a received SMS:\n") +
         QString::fromLatin1(kInjectLineHelp) +
         QStringLiteral(
             "\nControl file: every complete line appended while running is one command:\n") +
         QString::fromLatin1(kFaultCommandHelp) + QString::fromLatin1(kLinkFaultHelp) +
         QStringLiteral("\nSent file: one line per SMS accepted, fields separated by TAB:\n") +
         QString::fromLatin1(kSentLineHelp) +
         QStringLiteral(
             "\nReady line on stdout: \"modemsim listening on 127.0.0.1:PORT\" or \"modemsim "
             "pty /dev/pts/N\"\n(printed again with the new path after a dropped pseudo-terminal "
             "link).\n");
}

bool toInt(const QString& text, int low, int high, int* out) {
  bool ok = false;
  const int v = text.toInt(&ok);
  if (!ok || v < low || v > high) return false;
  *out = v;
  return true;
}

}  // namespace

ParsedOptions parseOptions(const QStringList& arguments) {
  QCommandLineParser p;
  p.setApplicationDescription(
      QStringLiteral("Simulated AT-command GSM modem (text and PDU mode) for tests and demos."));
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const auto& value = valueOption;
  const auto& flag = flagOption;
  p.addOptions(linkOptions());
  p.addOptions({
      value("sms", "Store a received SMS (repeatable).", "NUMBER:TEXT"),
      value("sms-ucs2", "Store a received SMS in UCS2.", "NUMBER:TEXT"),
      value("sms-8bit", "Store a received SMS as 8-bit data (Latin-1).", "NUMBER:TEXT"),
      value("concat", "Store a concatenated SMS.", "NUMBER:TEXT"),
      value("storage", "Storage for the SMS options after it: SM (default) or ME.", "SM|ME"),
      value("inject-file", "Watch PATH for SMS to store (see below).", "PATH"),
      value("control", "Watch PATH for control commands (see below).", "PATH"),
      value("sent", "Append every SMS sent to PATH (see below).", "PATH"),
      flag("echo", "Demo: every SMS sent comes back from its number as \"Re: \" + text."),
      value("echo-delay-ms", "Delay of the --echo answer (default 3000).", "MS"),
      flag("ate0", "Start with the command echo off, as after ATE0."),
      flag("left-at-prompt", "Start at a send prompt (text mode), as an earlier program left it."),
      value("csca", "Service-centre number (default +420600000100).", "NUMBER"),
      value("csq", "Signal value answered to AT+CSQ (default 20).", "N"),
      value("sim-size", "Capacity of the SIM storage (default 30).", "N"),
      value("phone-size", "Capacity of the phone storage (default 100).", "N"),
      flag("cmti", "Announce every stored SMS with +CMTI, even without AT+CNMI."),
      flag("no-cnmi", "Fault: answer ERROR to AT+CNMI (no new-message indications)."),
      value("pin", "The SIM asks for this PIN (three tries, then the PUK).", "PIN"),
      value("puk", "PUK of the SIM (default 12345678).", "PUK"),
      value("sim-state",
            "Keep the SIM's PIN tries (and a PIN its PUK set) in PATH, across restarts.", "PATH"),
      value("sim-busy-ms", "Fault: the SIM is busy MS after it took its PIN and after power-up.",
            "MS"),
      flag("no-sim", "Fault: no SIM in the holder."),
      value("cnmi-boot-ms", "Fault: AT+CNMI is refused MS after power-up (booting).", "MS"),
      value("creg", "Registration state answered to AT+CREG? (default 1, home).", "N"),
      value("urc-ms", "Fault: an unsolicited code every MS, and one before every prompt.", "MS"),
      flag("silent", "Fault: answer nothing."),
      flag("busy", "Fault: AT+CPAS answers 3."),
      value("cpas", "Fault: AT+CPAS answers N.", "N"),
      value("error-on",
            "Fault: answer ERROR to this command line (repeatable; trailing * = prefix).",
            "COMMAND"),
      value("cms-error", "Fault: answer +CMS ERROR: N to every SMS sent.", "N"),
      flag("high-bytes", "Fault: put the byte 0xFF in front of every answer."),
      value("drop-after", "Fault: drop the link when command N+1 of a connection arrives.", "N"),
      value("delay-ms", "Fault: hold every answer back MS milliseconds.", "MS"),
      value("fault", "Fault as a control command (repeatable; see below), e.g. \"delay 0-3000\".",
            "COMMAND"),
      value("split", "Fault: write answers in chunks of N bytes.", "N"),
      value("split-pause-ms", "Pause between chunks (default 50).", "MS"),
      value("link-fault", "Fault of the link or the send dialogue (repeatable; see below).",
            "COMMAND"),
      value("stall-body", "Fault: the first listing stops MS inside its first body.", "MS"),
      value("send-delay", "The network takes MS to accept each SMS (its result waits).", "MS"),
      flag("trace", "Print the traffic on stderr."),
  });

  ParsedOptions result;
  if (!p.parse(arguments)) {
    result.text = p.errorText();
    return result;
  }
  if (p.isSet(QStringLiteral("help"))) {
    result.help = true;
    result.text = p.helpText() + helpTail();
    return result;
  }
  if (!p.positionalArguments().isEmpty()) {
    result.text = QStringLiteral("unexpected argument ") + p.positionalArguments().first();
    return result;
  }

  RunOptions o;
  ModemConfig& m = o.modem;
  std::map<QString, qsizetype> seen;  // values of repeated options are taken in order
  QString error;
  for (const QString& name : p.optionNames()) {
    const QString v = p.values(name).value(seen[name]++);
    const auto fail = [&](const QString& why) {
      if (error.isEmpty()) error = QStringLiteral("--") + name + QStringLiteral(": ") + why;
    };
    const auto number = [&](int low, int high, int* out) {
      if (!toInt(v, low, high, out)) fail(QStringLiteral("bad number ") + v);
    };
    const auto sms = [&](Coding coding, bool concat) {
      QString why;
      if (auto inj = parseSmsArgument(v, coding, concat, o.injectStorage, &why))
        o.injections.push_back(*inj);
      else
        fail(why);
    };
    int n = 0;
    if (name == u"tcp" || name == u"port") {
      number(0, 65535, &n);
      o.tcpPort = static_cast<quint16>(n);
    } else if (name == u"pty") {
      o.ptyLink = v;
    } else if (name == u"sms") {
      sms(Coding::Auto, false);
    } else if (name == u"sms-ucs2") {
      sms(Coding::Ucs2, false);
    } else if (name == u"sms-8bit") {
      sms(Coding::Data8, false);
    } else if (name == u"concat") {
      sms(Coding::Auto, true);
    } else if (name == u"storage") {
      if (v.compare(u"SM", Qt::CaseInsensitive) == 0)
        o.injectStorage = Storage::SM;
      else if (v.compare(u"ME", Qt::CaseInsensitive) == 0)
        o.injectStorage = Storage::ME;
      else
        fail(QStringLiteral("SM or ME expected"));
    } else if (name == u"inject-file") {
      o.injectPath = v;
    } else if (name == u"control") {
      o.controlPath = v;
    } else if (name == u"sent") {
      o.sentPath = v;
    } else if (name == u"echo") {
      m.echoBack = true;
    } else if (name == u"echo-delay-ms") {
      number(0, 3600000, &m.echoBackDelayMs);
    } else if (name == u"ate0") {
      m.echo = false;
    } else if (name == u"left-at-prompt") {
      m.leftAtPrompt = true;
    } else if (name == u"csca") {
      m.serviceCentre = v;
    } else if (name == u"csq") {
      number(0, 99, &m.signal);
    } else if (name == u"sim-size") {
      number(1, 255, &m.simCapacity);
    } else if (name == u"phone-size") {
      number(1, 1000, &m.phoneCapacity);
    } else if (name == u"cmti") {
      m.newMessageIndication = true;
    } else if (name == u"no-cnmi") {
      m.faults.errorOn.append(QStringLiteral("AT+CNMI*"));
    } else if (name == u"pin") {
      m.simPin = v;
    } else if (name == u"puk") {
      m.simPuk = v;
    } else if (name == u"sim-state") {
      o.simStatePath = v;
    } else if (name == u"sim-busy-ms") {
      number(0, 3600000, &m.faults.simBusyMs);
    } else if (name == u"no-sim") {
      m.faults.noSim = true;
    } else if (name == u"cnmi-boot-ms") {
      number(0, 3600000, &m.faults.cnmiBootMs);
    } else if (name == u"creg") {
      number(0, 5, &m.faults.registration);
    } else if (name == u"urc-ms") {
      number(0, 3600000, &m.faults.unsolicitedMs);
    } else if (name == u"silent") {
      m.faults.silent = true;
    } else if (name == u"busy") {
      m.faults.cpas = 3;
    } else if (name == u"cpas") {
      number(0, 255, &m.faults.cpas);
    } else if (name == u"error-on") {
      m.faults.errorOn.append(v);
    } else if (name == u"cms-error") {
      number(0, 65535, &m.faults.cmsError);
    } else if (name == u"high-bytes") {
      m.faults.highBytes = true;
    } else if (name == u"drop-after") {
      number(0, 1000000, &m.faults.dropAfter);
    } else if (name == u"delay-ms") {
      number(0, 3600000, &m.faults.delayMs);
    } else if (name == u"fault") {
      QString why;
      if (!applyFaultCommand(m.faults, v, &why)) fail(why);
    } else if (name == u"split") {
      number(0, 100000, &m.faults.splitBytes);
    } else if (name == u"split-pause-ms") {
      number(0, 3600000, &m.faults.splitPauseMs);
    } else if (name == u"link-fault") {
      QString why;
      if (!applyLinkFaultCommand(m.linkFaults, v, &why).value_or(false))
        fail(why.isEmpty() ? QStringLiteral("unknown fault ") + v : why);
    } else if (name == u"stall-body") {
      number(0, 3600000, &m.faults.stallBodyMs);
    } else if (name == u"send-delay") {
      number(0, 3600000, &m.faults.sendDelayMs);
    } else if (name == u"trace") {
      o.trace = true;
    }
  }
  if (error.isEmpty() && o.tcpPort.has_value() == !o.ptyLink.isEmpty())
    error = QStringLiteral("give exactly one of --tcp PORT and --pty LINK");
  if (!error.isEmpty()) {
    result.text = error;
    return result;
  }
  result.options = std::move(o);
  return result;
}

}  // namespace kolvane::modemsim
