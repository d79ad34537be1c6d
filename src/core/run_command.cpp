#include "core/run_command.h"

#include <algorithm>

#include "core/gateway.h"
#include "core/local_sms.h"
#include "core/shell_open.h"
#include "core/top_window.h"

namespace kolvane {

namespace {

LocalSms resultSms(const ExtAppRunRec& rec) {
  QString body = QStringLiteral("Return code : %1\r\nDescription : %2\r\nCommand line : %3")
                     .arg(rec.RunErrCode)
                     .arg(RunResultText(rec.RunErrCode), rec.CmdLi);
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

std::int32_t LaunchRecord(const ExtAppRunRec& rec) {
  if (!rec.FindWinNotRun.isEmpty() && TopLevelWindowExists(rec.FindWinNotRun)) {
    return kRunGuardWindow;
  }
  return ShellOpen(rec.CmdLi, rec.Params);
}

void RunCommand(Gateway& g, CommandRunner& runner, RunForm form, const QString& commandLine,
                const QString& params, const QByteArray& telNo) {
  GatewayState& gs = g.state();
  ExtAppRunRec rec;
  rec.CmdTelNo = telNo;
  rec.CmdLi = form == RunForm::Hook ? gs.ProgramDir + QLatin1String(kHookProgram) : commandLine;
  rec.Params = params;
  rec.FindWinNotRun = gs.cfg.FindWinNotRun;
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
