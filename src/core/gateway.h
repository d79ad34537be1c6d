#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

#include "core/gateway_hooks.h"
#include "core/gateway_state.h"
#include "gsm/link_state.h"
#include "log/log_memo.h"
#include "log/log_writer.h"
#include "log/traffic_logs.h"
#include "platform/clock.h"
#include "platform/dir_change_probe.h"
#include "platform/ini_file.h"
#include "platform/instance_lock.h"
#include "settings/language.h"

class QSocketNotifier;

namespace kolvane {

class HostActions;
class LinkPasses;
class MailListeners;
class TdmGtNET;
class TdmPOP3;
class TdmSMTP;
struct StartupOptions;
QString resolveProgramDir(const StartupOptions& options);

struct StartupOptions {
  QString programFile;      // path of the program file (holds the Exe-Ini block)
  QString programDir;       // working folder; empty = folder of the program file
  QString commandLineText;  // command-line text after the program's own options
  bool headless = false;
};

// The gateway: owns the shared state and the services every module reaches (log, texts,
// settings file, clock) and runs start-up, the close query and shutdown.
class Gateway : public QObject {
  Q_OBJECT

 public:
  Gateway(const Clock& clock, StartupOptions options, QObject* parent = nullptr);
  ~Gateway() override;

  GatewayState& state() { return gs_; }
  const GatewayState& state() const { return gs_; }
  LinkState& link() { return link_; }
  const LinkState& link() const { return link_; }
  const Clock& clock() const { return clock_; }
  LogWriter& log() { return *log_; }
  LogMemo& memo() { return memo_; }
  TrafficLogs& traffic() { return *traffic_; }
  Language& language() { return language_; }
  QString Text(int n) const { return language_.Text(n); }
  // The live settings file; exists from start-up step 11 on.
  IniFile* settingsFile() { return settingsFile_ ? &*settingsFile_ : nullptr; }
  GatewayHooks& hooks() { return hooks_; }
  // The link's receive and send passes, the TCP gateway client, the mail listening sockets.
  LinkPasses& passes() { return *passes_; }
  TdmGtNET& gtNet() { return *gtNet_; }
  MailListeners& listeners() { return *listeners_; }
  // The POP3 server: client admission, registry, dialogue, reply delivery.
  TdmPOP3& pop3() { return *pop3_; }
  // The SMTP server: client admission, registry, reply delivery.
  TdmSMTP& smtp() { return *smtp_; }
  // Command runner and speech.
  HostActions& hostActions() { return *hostActions_; }
  const StartupOptions& options() const { return options_; }

  // Log(show, text) of every module.
  void Log(bool show, const QString& text) { log_->Log(show, text); }

  // Start-up. True: run the event loop. False: the program has done its work or must not run.
  bool InitX();
  // The process's exit code when InitX returned false: non-zero when that work failed.
  int exitCode() const { return exitCode_; }
  // InitX ended because another copy runs on the folder; whether the command-line text was
  // handed over to it.
  bool anotherCopyRuns() const { return anotherCopyRuns_; }
  bool textHandedOver() const { return textHandedOver_; }

  // The close of the main window: the close query, then shutdown. True when the program ends.
  bool requestClose();
  // The close query alone.
  bool closeQuery();

  // Starts the main cycle and the recovery timer on this thread's event loop. The cycle ticks
  // every 100 ms while anything is under way and otherwise sleeps until the next due moment or
  // until an event (a socket, the device, a change in the program folder) makes one due.
  void startCycle();
  // One tick of the main cycle.
  void TimerTimer();
  // One run of the recovery timer.
  void TmrAlarmTimer();
  // The main cycle's 100 ms timer, the sender an error of the cycle is reported with.
  const QObject* cycleTimer() const { return &cycleTimer_; }

 Q_SIGNALS:
  // Shutdown is complete; the event loop may end.
  void finished();

 private:
  bool detectInstallMode();
  void loadAllSettings(DateTime startTime);
  void normalRunStart();
  void shutdown();
  void applyLogOptions();
  void installLinkHooks();
  // Before the event loop sleeps: the cycle and recovery timers go off at their next due moment.
  void armTimers();
  void folderChanged();
  // What is left of the 100 ms pace since the last tick.
  std::uint32_t paceLeft() const;

  const Clock& clock_;
  StartupOptions options_;
  Language language_;
  GatewayState gs_;
  LinkState link_;
  std::unique_ptr<LogWriter> log_;
  std::unique_ptr<TrafficLogs> traffic_;
  LogMemo memo_;
  std::optional<IniFile> settingsFile_;
  std::unique_ptr<InstanceLock> instanceLock_;
  GatewayHooks hooks_;
  std::unique_ptr<LinkPasses> passes_;
  std::unique_ptr<TdmGtNET> gtNet_;
  std::unique_ptr<MailListeners> listeners_;
  std::unique_ptr<TdmPOP3> pop3_;
  std::unique_ptr<TdmSMTP> smtp_;
  std::unique_ptr<HostActions> hostActions_;
  QTimer cycleTimer_;
  QTimer tmrAlarm_;
  Tick lastTickAt_ = 0;
  std::unique_ptr<DirChangeProbe> folderProbe_;
  QSocketNotifier* folderNotifier_ = nullptr;
  bool shutDown_ = false;
  int exitCode_ = 0;
  bool anotherCopyRuns_ = false;
  bool textHandedOver_ = false;
};

}  // namespace kolvane
