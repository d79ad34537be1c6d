#include "core/demo_mode.h"

#include <sys/prctl.h>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>

#include "gsm/link_passes.h"
#include "platform/ini_file.h"
#include "platform/private_files.h"

namespace kolvane {

bool prepareDemoFolder(const QString& folder, quint16 modemPort, QString* error,
                       DemoDevice device) {
  const bool fresh = !QFileInfo::exists(folder);
  if (!QDir().mkpath(folder) || (fresh && !QFile::setPermissions(folder, kPrivateFolder))) {
    *error = QStringLiteral("cannot create ") + folder;
    return false;
  }
  IniFile ini(QDir(folder).filePath(QStringLiteral("Kolvane.ini")));
  const bool written = ini.update([modemPort, device](IniText& text) {
    const QString cfg = QStringLiteral("CFG");
    const auto set = [&](const char* key, const QString& value) {
      text.setValue(cfg, QString::fromLatin1(key), value);
    };
    set("ComTcp", QStringLiteral("1"));
    set("GtIPAdress", QStringLiteral("127.0.0.1"));
    set("GtTCPPort", QString::number(modemPort));
    set("SmtpPort", QString::number(kDemoSmtpPort));
    set("Pop3Port", QString::number(kDemoPop3Port));
    set("StartGo", QStringLiteral("1"));
    set("OnLine", QStringLiteral("1"));
    set("IntervalOnLine", QString::number(kDemoIntervalOnLineMs));
    // The device must speak the simulator's protocol.
    const QString gsmDevice = text.value(cfg, QStringLiteral("GsmDevice"), {});
    if (device == DemoDevice::Gate) {
      set("GsmDevice", QStringLiteral("PRImaGate"));
    } else if (usesGatewayProtocol(gsmDevice)) {
      set("GsmDevice", QStringLiteral("Unknown"));
    }
  });
  if (!written) *error = QStringLiteral("cannot write ") + ini.path();
  return written;
}

DemoModem::DemoModem(QString program, QString folder, QObject* parent, DemoDevice device)
    : QObject(parent), program_(std::move(program)), folder_(std::move(folder)), device_(device) {
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // The modem goes with the gateway even when the gateway is killed.
  process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  connect(&process_, &QProcess::readyReadStandardOutput, this, &DemoModem::readOutput);
  connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
    if (e == QProcess::FailedToStart)
      Q_EMIT failed(program_ + QStringLiteral(" cannot be started"));
  });
  connect(&process_, &QProcess::finished, this, [this] {
    if (!announced_) Q_EMIT failed(program_ + QStringLiteral(" ended before it listened"));
  });
}

DemoModem::~DemoModem() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.disconnect(this);
  process_.terminate();
  if (!process_.waitForFinished(3000)) {
    process_.kill();
    process_.waitForFinished(1000);
  }
}

QString DemoModem::injectFile(const QString& folder, DemoDevice device) {
  return QDir(folder).filePath(device == DemoDevice::Gate ? QStringLiteral("gatesim-inject.txt")
                                                          : QStringLiteral("modemsim-inject.txt"));
}

QString DemoModem::sentFile(const QString& folder, DemoDevice device) {
  return QDir(folder).filePath(device == DemoDevice::Gate ? QStringLiteral("gatesim-jobs.txt")
                                                          : QStringLiteral("modemsim-sent.txt"));
}

void DemoModem::start() {
  if (!QFileInfo(program_).isExecutable()) {
    Q_EMIT failed(program_ + QStringLiteral(" not found (build it beside the program)"));
    return;
  }
  const bool gate = device_ == DemoDevice::Gate;
  process_.start(program_, {QStringLiteral("--tcp"), QStringLiteral("0"),
                            gate ? QStringLiteral("--reply") : QStringLiteral("--echo"),
                            gate ? QStringLiteral("--jobs") : QStringLiteral("--sent"),
                            sentFile(folder_, device_), QStringLiteral("--inject-file"),
                            injectFile(folder_, device_)});
}

void DemoModem::readOutput() {
  output_ += process_.readAllStandardOutput();
  if (announced_) {
    output_.clear();
    return;
  }
  static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
  const QRegularExpressionMatch m = listening.match(QString::fromUtf8(output_));
  if (!m.hasMatch()) return;
  announced_ = true;
  output_.clear();
  Q_EMIT ready(static_cast<quint16>(m.captured(1).toUInt()));
}

}  // namespace kolvane
