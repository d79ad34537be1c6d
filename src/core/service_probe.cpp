#include "core/service_probe.h"

#include <QProcess>

#include "core/command_line.h"
#include "core/status_client.h"
#include "core/status_server.h"

namespace kolvane {

namespace {

constexpr int kAskMs = 1500;

// "systemctl is-active" of the unit; false where there is no systemd to ask.
bool unitActive() {
  QProcess systemctl;
  systemctl.start(
      QStringLiteral("systemctl"),
      {QStringLiteral("is-active"), QStringLiteral("--quiet"), QStringLiteral("kolvane.service")});
  if (!systemctl.waitForFinished(kAskMs)) {
    systemctl.kill();
    systemctl.waitForFinished(kAskMs);
    return false;
  }
  return systemctl.exitStatus() == QProcess::NormalExit && systemctl.exitCode() == 0;
}

}  // namespace

QString serviceFolder() {
  const QString given = qEnvironmentVariable("KOLVANE_SERVICE_DIR");
  return given.isEmpty() ? QStringLiteral("/var/lib/kolvane") : given;
}

ServiceProbe probeSystemService() {
  ServiceProbe probe;
  probe.folder = serviceFolder();
  const StatusAnswer answer = askRunningProgram(probe.folder, kStatusRequest, kAskMs);
  if (answer.exitCode == exitcode::kDone) {
    probe.running = true;
    probe.status = answer.lines;
    return probe;
  }
  probe.running = unitActive();
  return probe;
}

}  // namespace kolvane
