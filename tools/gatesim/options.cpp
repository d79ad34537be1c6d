#include "options.h"

#include <QCommandLineParser>

#include "modemsim/sim_io.h"

#include "modemsim/gsm7.h"
#include "modemsim/sent_sms.h"

namespace kolvane::gatesim {

using modemsim::flagOption;
using modemsim::linkOptions;
using modemsim::valueOption;

std::optional<StoredSms> parseStoredSms(const QString& number, const QString& text,
                                        const QString& flags, int modules, QString* error) {
  StoredSms sms;
  sms.number = number.trimmed();
  sms.text = modemsim::unescapeField(text);
  sms.ucs2 = !modemsim::gsm7::canEncode(sms.text);
  if (sms.number.isEmpty()) {
    *error = QStringLiteral("no sender number");
    return std::nullopt;
  }
  for (const QString& raw : flags.split(u',', Qt::SkipEmptyParts)) {
    const QString flag = raw.trimmed().toLower();
    bool ok = false;
    if (flag == u"ucs2") {
      sms.ucs2 = true;
    } else if (flag.startsWith(u"module=") && (sms.module = flag.mid(7).toInt(&ok), ok)) {
    } else {
      *error = QStringLiteral("unknown flag ") + raw;
      return std::nullopt;
    }
  }
  if (sms.module < 1 || sms.module > modules) sms.module = 1;
  return sms;
}

std::optional<StoredSms> parseInjectLine(const QString& line, int modules, QString* error) {
  const QStringList f = line.split(u'\t');
  if (f.size() < 2 || f.size() > 3) {
    *error = QStringLiteral("expected NUMBER<TAB>TEXT[<TAB>FLAGS], got ") + line;
    return std::nullopt;
  }
  return parseStoredSms(f[0], f[1], f.value(2), modules, error);
}

ParsedOptions parseOptions(const QStringList& arguments) {
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral(
      "Simulated ISDN/LAN gateway device (framed protocol, several GSM modules) for tests and "
      "demos."));
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const auto& value = valueOption;
  const auto& flag = flagOption;
  p.addOptions(linkOptions());
  p.addOptions({
      value("modules", "Number of GSM modules (default 4).", "N"),
      value("inactive", "GSM module N is inactive (repeatable).", "N"),
      value("sms", "Store a received SMS to hand over (repeatable).", "NUMBER:TEXT"),
      value("inject-file", "Watch PATH for SMS to store: NUMBER<TAB>TEXT[<TAB>FLAGS].", "PATH"),
      value("control", "Watch PATH for control commands (see below).", "PATH"),
      value("jobs", "Append every job handed over to PATH (see below).", "PATH"),
      value("cause", "Answer every job with IE_CAUSE N (240, 254 or 255).", "N"),
      flag("no-confirm", "Never confirm a job."),
      flag("echo", "Fault: send every frame back before answering."),
      flag("reply", "Demo: a confirmed job comes back as SMS \"Re: \" + text."),
      flag("trace", "Print the traffic on stderr."),
  });
  ParsedOptions result;
  if (!p.parse(arguments)) {
    result.text = p.errorText();
    return result;
  }
  if (p.isSet(QStringLiteral("help"))) {
    result.help = true;
    result.text = p.helpText() + QStringLiteral("\nControl file commands, one a line:\n") +
                  QString::fromLatin1(kControlHelp) +
                  QStringLiteral(
                      "\nInject FLAGS: comma list of ucs2 and module=N.\nJobs file: one line "
                      "per job, TAB-separated: time, counter, module, number, text,\ncoding "
                      "(gsm|ucs2), outcome (confirmed, unconfirmed, cause N).\nReady line on "
                      "stdout: \"gatesim listening on 127.0.0.1:PORT\" or \"gatesim pty "
                      "/dev/pts/N\".\n");
    return result;
  }
  RunOptions o;
  const auto fail = [&](const QString& why) {
    result.text = why;
    return result;
  };
  const auto number = [&](const QString& name, int low, int high, int* out) {
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (ok && v >= low && v <= high) *out = v;
    return ok && v >= low && v <= high;
  };
  for (const QString& name : {QStringLiteral("tcp"), QStringLiteral("port")}) {
    int port = 0;
    if (p.isSet(name) && !number(name, 0, 65535, &port)) return fail(QStringLiteral("bad port"));
    if (p.isSet(name)) o.tcpPort = static_cast<quint16>(port);
  }
  o.ptyLink = p.value(QStringLiteral("pty"));
  if (o.ptyLink.isEmpty() == !o.tcpPort)
    return fail(QStringLiteral("give --tcp PORT or --pty LINK"));
  if (p.isSet(QStringLiteral("modules")) &&
      !number(QStringLiteral("modules"), 1, 32, &o.device.modules)) {
    return fail(QStringLiteral("--modules: 1 to 32"));
  }
  for (const QString& v : p.values(QStringLiteral("inactive"))) o.device.inactive.insert(v.toInt());
  if (p.isSet(QStringLiteral("cause"))) {
    QString why;
    if (!applyControl(o.device, QStringLiteral("cause ") + p.value(QStringLiteral("cause")), &why))
      return fail(why);
  }
  o.device.confirm = !p.isSet(QStringLiteral("no-confirm"));
  o.device.echo = p.isSet(QStringLiteral("echo"));
  o.device.reply = p.isSet(QStringLiteral("reply"));
  o.trace = p.isSet(QStringLiteral("trace"));
  o.jobsPath = p.value(QStringLiteral("jobs"));
  o.injectPath = p.value(QStringLiteral("inject-file"));
  o.controlPath = p.value(QStringLiteral("control"));
  for (const QString& arg : p.values(QStringLiteral("sms"))) {
    const qsizetype colon = arg.indexOf(u':');
    QString why = QStringLiteral("expected NUMBER:TEXT, got ") + arg;
    const auto sms =
        colon < 0 ? std::nullopt
                  : parseStoredSms(arg.left(colon), arg.mid(colon + 1), {}, o.device.modules, &why);
    if (!sms) return fail(QStringLiteral("--sms: ") + why);
    o.stored.push_back(*sms);
  }
  result.options = std::move(o);
  return result;
}

}  // namespace kolvane::gatesim
