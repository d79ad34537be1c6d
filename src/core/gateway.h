#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

#include "context/gateway_context.h"
#include "core/status_report.h"
#include "gsm/link_state.h"
#include "platform/dir_change_probe.h"
#include "platform/instance_lock.h"

class QSocketNotifier;

namespace kolvane {

class HostActions;
class LinkPasses;
class MailListeners;
class StatusServer;
class TdmGtNET;
class TdmPOP3;
class TdmSMTP;
QString resolveProgramDir(const StartupOptions& options);

// The gateway: builds the context every module reaches, owns the link and the servers, and runs
// start-up, the close query, the main cycle and shutdown.
class Gateway : public QObject, public GatewayContext {
  Q_OBJECT

 public:
  Gateway(const Clock& clock, StartupOptions options, QObject* parent = nullptr);
  ~Gateway() override;

  LinkState& link() override { return link_; }
  const LinkState& link() const override { return link_; }
  LinkPasses& passes() override { return *passes_; }
  TdmGtNET& gtNet() override { return *gtNet_; }
  MailListeners& listeners() override { return *listeners_; }
  QObject* timerOwner() override { return this; }
  // The POP3 server: client admission, registry, dialogue, reply delivery.
  TdmPOP3& pop3() { return *pop3_; }
  // The SMTP server: client admission, registry, reply delivery.
  TdmSMTP& smtp() { return *smtp_; }
  // Command runner and speech.
  HostActions& hostActions() { return *hostActions_; }
  // What --status reports beyond the state.
  StatusNotes& statusNotes() { return statusNotes_; }

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

  // The settings as loaded: the Exe-Ini block of the program file with the file written over it.
  IniText layeredSettings(const IniText& file);
  // The log writer and traffic logs follow the settings in force.
  void applyLogOptions();

 Q_SIGNALS:
  // Shutdown is complete; the event loop may end.
  void finished();

 private:
  bool detectInstallMode();
  // The program folder made when missing; false (with the reason shown) when it is of no use.
  bool prepareFolder();
  // The settings file as read.
  IniText loadAllSettings(DateTime startTime);
  void normalRunStart(DateTime startTime);
  void shutdown();
  void finishShutdown();
  void installLinkHooks();
  // Before the event loop sleeps: the cycle and recovery timers go off at their next due moment.
  void armTimers();
  void folderChanged();
  // What is left of the 100 ms pace since the last tick.
  std::uint32_t paceLeft() const;

  LinkState link_;
  std::unique_ptr<InstanceLock> instanceLock_;
  std::unique_ptr<LinkPasses> passes_;
  std::unique_ptr<TdmGtNET> gtNet_;
  std::unique_ptr<MailListeners> listeners_;
  std::unique_ptr<TdmPOP3> pop3_;
  std::unique_ptr<TdmSMTP> smtp_;
  std::unique_ptr<HostActions> hostActions_;
  StatusNotes statusNotes_;
  std::unique_ptr<StatusServer> statusServer_;
  QTimer cycleTimer_;
  QTimer tmrAlarm_;
  Tick lastTickAt_ = 0;
  std::unique_ptr<DirChangeProbe> folderProbe_;
  QSocketNotifier* folderNotifier_ = nullptr;
  bool shutDown_ = false;
  QString settingsNotice_;  // a missing or empty settings file, told after the first line
  int exitCode_ = 0;
  bool anotherCopyRuns_ = false;
  bool textHandedOver_ = false;
};

}  // namespace kolvane
