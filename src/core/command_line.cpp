#include "core/command_line.h"

#include "mail/mail_accounts.h"

namespace kolvane {

namespace {

const QLatin1String kOptionMark("--");

bool isOption(const QString& arg) {
  return arg.startsWith(kOptionMark);
}

// A value that is itself an option is no value: "--dir --status" names no folder.
bool takeValue(const QStringList& args, qsizetype& i, QString& into) {
  if (i + 1 >= args.size() || isOption(args[i + 1])) return false;
  into = args[++i];
  return true;
}

CommandLine wrong(CommandLine cl, const QString& why) {
  cl.action = CommandLine::Action::Wrong;
  cl.wrong = why;
  return cl;
}

}  // namespace

CommandLine parseCommandLine(const QStringList& args) {
  CommandLine cl;
  // The first of --help, --version, --status, --queue decides; a later one is refused.
  const auto act = [&cl](CommandLine::Action a) {
    if (cl.action != CommandLine::Action::Run && cl.action != a) return false;
    cl.action = a;
    return true;
  };
  bool textsOnly = false;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    if (textsOnly || !isOption(a)) {
      cl.rest << a;
    } else if (a == kOptionMark) {
      textsOnly = true;
    } else if (a == QLatin1String("--help")) {
      if (!act(CommandLine::Action::Help)) return wrong(cl, a + QStringLiteral(" with another"));
    } else if (a == QLatin1String("--version")) {
      if (!act(CommandLine::Action::Version)) return wrong(cl, a + QStringLiteral(" with another"));
    } else if (a == QLatin1String("--status")) {
      if (!act(CommandLine::Action::Status)) return wrong(cl, a + QStringLiteral(" with another"));
    } else if (a == QLatin1String("--queue")) {
      if (!act(CommandLine::Action::Queue)) return wrong(cl, a + QStringLiteral(" with another"));
    } else if (a == QLatin1String("--set-password") || a == QLatin1String("--delete-user")) {
      const auto action = a == QLatin1String("--set-password") ? CommandLine::Action::SetPassword
                                                               : CommandLine::Action::DeleteUser;
      if (!act(action)) return wrong(cl, a + QStringLiteral(" with another"));
      if (!takeValue(args, i, cl.account)) return wrong(cl, a + QStringLiteral(" needs a name"));
      if (!ValidAccountName(cl.account)) {
        return wrong(cl, QStringLiteral("%1 is no account name (1-32 letters, digits, \".\", "
                                        "\"_\", \"-\")")
                             .arg(cl.account));
      }
    } else if (a == QLatin1String("--headless")) {
      cl.headless = true;
    } else if (a == QLatin1String("--dir")) {
      if (!takeValue(args, i, cl.dir)) return wrong(cl, QStringLiteral("--dir needs a folder"));
      cl.dirGiven = true;
    } else if (a == QLatin1String("--demo")) {
      // Beside the simulated modem, in FOLDER (default ./kolvane-demo).
      cl.demo = true;
      cl.dirGiven = true;
      if (!takeValue(args, i, cl.dir)) cl.dir = QString::fromLatin1(kDemoFolder);
    } else if (a == QLatin1String("--device")) {
      QString device;
      if (!takeValue(args, i, device) ||
          (device != QLatin1String("modem") && device != QLatin1String("gate"))) {
        return wrong(cl, QStringLiteral("--device takes modem or gate"));
      }
      cl.demoDevice = device == QLatin1String("gate") ? DemoDevice::Gate : DemoDevice::Modem;
    } else {
      return wrong(cl, QStringLiteral("unknown option ") + a);
    }
  }
  return cl;
}

QString usageText(const QString& programName) {
  return QStringLiteral(
             "Usage: %1 [OPTION]... [TEXT]...\n"
             "The office's SMS gateway: its SMTP and POP3 servers carry e-mail to and from a GSM\n"
             "modem or gateway.\n"
             "\n"
             "  --dir DIR        the folder of the settings (Kolvane.ini), stores and logs;\n"
             "                   default the program's folder, or $XDG_DATA_HOME/kolvane\n"
             "                   (~/.local/share/kolvane) when that is not writable\n"
             "  --headless       without windows, the log on standard output (as a service)\n"
             "  --demo [DIR]     beside a simulated modem, in DIR (default ./kolvane-demo)\n"
             "  --device gate    with --demo: a simulated ISDN/LAN gateway device instead\n"
             "  --status         the state of the program running on the folder\n"
             "  --queue          the SMS jobs waiting in the folder\n"
             "  --set-password NAME  sets the password of mail account NAME, read from\n"
             "                   standard input (from a terminal: asked twice, not shown)\n"
             "  --delete-user NAME   removes mail account NAME\n"
             "  --help           this text\n"
             "  --version        the version\n"
             "  --               every argument after it is a text\n"
             "\n"
             "A TEXT is queued as SMS to RunParDefTelNo when RunParamAsSMS=1; *I starts the\n"
             "installer.\n"
             "Signals: TERM and INT end the program once the relation with the modem is over;\n"
             "HUP reads Kolvane.ini again; --set-password and --delete-user tell the running "
             "program\n"
             "at once.\n"
             "Exit status: 0 done, 1 failed, 2 wrong command line, 3 not running (--status),\n"
             "4 the running program may not be reached by this user.\n")
      .arg(programName);
}

QString versionText() {
  return QStringLiteral("Kolvane " KOLVANE_VERSION "\n");
}

}  // namespace kolvane
