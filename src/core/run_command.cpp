#include "core/run_command.h"

#include <QStringDecoder>
#include <algorithm>

#include "core/gateway.h"
#include "core/local_sms.h"
#include "core/shell_open.h"
#include "core/top_window.h"
#include "core/waited_run.h"

namespace kolvane {

namespace {

// Enough of a program's answer for one SMS beside the result.
constexpr qsizetype kOutputShownMax = 100;

// The first output line as text: UTF-8, else the machine's 8-bit code page.
QString outputText(const QByteArray& line) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(line);
  return utf8.hasError() ? QString::fromLocal8Bit(line) : text;
}

// What the sender learns: the program's own result, never where it lives.
LocalSms resultSms(const ExtAppRunRec& rec) {
  QString body;
  if (!rec.Waited) {
    body = QStringLiteral("Return code : %1\r\nDescription : %2")
               .arg(rec.RunErrCode)
               .arg(RunResultText(rec.RunErrCode));
  } else if (!rec.Ended) {
    body = QStringLiteral("Description : still running");
  } else {
    body = QStringLiteral("Return code : %1\r\nDescription : %2")
               .arg(rec.ExitStatus)
               .arg(rec.ExitStatus == 0
                        ? QStringLiteral("OK")
                        : QStringLiteral("Error - exit status %1").arg(rec.ExitStatus));
  }
  const QString output = outputText(rec.FirstLine).left(kOutputShownMax).trimmed();
  if (!output.isEmpty()) body += QStringLiteral("\r\nOutput : ") + output;
  if (!rec.Params.isEmpty()) body += QStringLiteral("\r\nParameters : ") + rec.Params;
  return {rec.CmdTelNo,
          QByteArrayLiteral("Kolvane sent the return value of the command line launch as SMS"),
          body};
}

void reportToSender(Gateway& g, const ExtAppRunRec& rec) {
  if (!StoreOrReportLocalSms(g, resultSms(rec))) {
    g.Log(true, g.Text(102) + QLatin1String(files::kSmtpTmp));
  }
}

void reportToLog(Gateway& g, const ExtAppRunRec& rec) {
  const QString commandLine = rec.CmdLi + QLatin1Char(' ') + rec.Params;
  if (rec.RunErrCode > 32) {
    g.Log(true, QStringLiteral("CMD OK:") + commandLine);
    return;
  }
  g.Log(true, QStringLiteral("ShellExecute Errcode:%1 Description:%2")
                  .arg(rec.RunErrCode)
                  .arg(RunResultText(rec.RunErrCode)));
  g.Log(true, QStringLiteral("Commandline:") + commandLine);
}

}  // namespace

std::optional<SmsCommand> SmsCommandFromText(const QString& rest, const QString& mark,
                                             const QList<SmsToCmdSubstType>& substitutions) {
  const qsizetype p = mark.isEmpty() ? -1 : rest.indexOf(mark);
  // Without a second mark the text would be a command line of the sender's choosing.
  if (p < 0) return std::nullopt;
  const QString name = rest.left(p);
  const auto listed = std::find_if(substitutions.rbegin(), substitutions.rend(),
                                   [&name](const SmsToCmdSubstType& s) { return s.Subst == name; });
  if (listed == substitutions.rend() || listed->CmdStr.isEmpty()) return std::nullopt;
  QString params = rest.mid(p + mark.size());
  qsizetype lead = 0;
  while (lead < params.size() && params[lead].unicode() <= 32) ++lead;
  return SmsCommand{listed->CmdStr, params.mid(lead)};
}

std::int32_t LaunchRecord(ExtAppRunRec& rec, const std::atomic<bool>& stopping) {
  if (!rec.FindWinNotRun.isEmpty() && TopLevelWindowExists(rec.FindWinNotRun)) {
    return kRunGuardWindow;
  }
  // A hook's program runs on its own; nobody reads its result.
  if (rec.CmdTelNo.isEmpty()) return ShellOpen(rec.CmdLi, rec.Params);
  const WaitedRun run = RunAndWait(rec.CmdLi, rec.Params, rec.WaitMs, stopping);
  rec.Waited = run.code > 32;
  rec.Ended = run.ended;
  rec.ExitStatus = run.exitStatus;
  rec.FirstLine = run.firstLine;
  return run.code;
}

void RunCommand(Gateway& g, CommandRunner& runner, RunForm form, const QString& commandLine,
                const QString& params, const QByteArray& telNo) {
  GatewayState& gs = g.state();
  ExtAppRunRec rec;
  rec.CmdTelNo = telNo;
  rec.CmdLi = form == RunForm::Hook ? gs.ProgramDir + QLatin1String(kHookProgram) : commandLine;
  rec.Params = params;
  rec.FindWinNotRun = gs.cfg.FindWinNotRun;
  rec.WaitMs = gs.cfg.CmdTimeout * 1000;
  if (runner.append(std::move(rec))) gs.RunThreadOn = true;
}

void RunResultsArrived(Gateway& g, const CommandRunner& runner) {
  GatewayState& gs = g.state();
  gs.RunThreadOn = runner.workerActive();
  gs.RunResultsDue = true;
}

void ReportRunResults(Gateway& g, CommandRunner& runner) {
  GatewayState& gs = g.state();
  if (gs.RunReporting) return;
  gs.RunReporting = true;
  gs.RunResultsDue = false;
  for (const ExtAppRunRec& rec : runner.takeFinished()) {
    if (!gs.cfg.SmsToCmdStat || rec.CmdLi.isEmpty()) continue;
    if (rec.CmdTelNo.isEmpty()) {
      reportToLog(g, rec);
    } else {
      reportToSender(g, rec);
    }
  }
  gs.RunReporting = false;
}

}  // namespace kolvane
