#include "core/gateway.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>

#include "context/settings_loader.h"
#include "core/cycle_schedule.h"
#include "core/gateway_start.h"
#include "core/host_actions.h"
#include "core/mail_ports.h"
#include "core/main_cycle.h"
#include "core/program_folder.h"
#include "core/received_sms_dispatch.h"
#include "core/send_wiring.h"
#include "core/start_mode.h"
#include "core/status_server.h"
#include "gate/gate_protocol.h"
#include "gsm/gt_net_client.h"
#include "gsm/link_passes.h"
#include "gsm/serial_device_link.h"
#include "mail/mail_listeners.h"
#include "mail/pop3_server.h"
#include "mail/smtp_server.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"
#include "mail/store_rescue.h"
#include "mail/tls_identity.h"
#include "settings/catalogue.h"
#include "settings/exe_ini_block.h"

namespace kolvane {

QString resolveProgramDir(const StartupOptions& options) {
  return resolveProgramFolder(options).path;
}

Gateway::Gateway(const Clock& clock, StartupOptions options, QObject* parent)
    : QObject(parent), GatewayContext(clock, options, resolveProgramDir(options)) {
  passes_ = std::make_unique<LinkPasses>(*this);
  gtNet_ = std::make_unique<TdmGtNET>(*this);
  listeners_ = std::make_unique<MailListeners>();
  installMailLimits(*this);
  pop3_ = std::make_unique<TdmPOP3>(*this);
  smtp_ = std::make_unique<TdmSMTP>(*this);
  installLinkHooks();
  hostActions_ = installHostActions(*this);
  installReceiveHooks(*this);
  installSendHooks(*this);
  installGateHooks(*this);
  cycleTimer_.setObjectName(QStringLiteral("Timer"));
  cycleTimer_.setSingleShot(true);
  cycleTimer_.setTimerType(Qt::PreciseTimer);
  connect(&cycleTimer_, &QTimer::timeout, this, &Gateway::TimerTimer);
  tmrAlarm_.setObjectName(QStringLiteral("TmrAlarm"));
  tmrAlarm_.setSingleShot(true);
  connect(&tmrAlarm_, &QTimer::timeout, this, &Gateway::TmrAlarmTimer);
}

Gateway::~Gateway() {
  // The watch reaches members that go before the log writer.
  log_->setWatch({});
}

void Gateway::installLinkHooks() {
  hooks_.openSerial = [this](const SerialParams& params) {
    return openSerialDevice(params, [this] { passes_->bytesArrived(); });
  };
  hooks_.cycle.runRelationStages = [this] { runRelationStages(*this); };
  hooks_.startLinkPasses = [this] { passes_->start(); };
  hooks_.stopLinkPasses = [this] { passes_->stop(); };
  hooks_.linkHandleOpen = [this] { return link_.comHandleValid(); };
  hooks_.closeLinkHandle = [this] {
    if (link_.ComHandle) link_.ComHandle->close();
    link_.ComHandle.reset();
  };
}

bool Gateway::detectInstallMode() {
  const StartMode mode = startModeOf(options_.programFile, gs_.CommandLineText, QDir::tempPath());
  gs_.InstallMode = mode.kind == StartMode::Installer;
  if (mode.tempCopy) {
    gs_.TempCopyMode = true;
    gs_.MainCaption = QStringLiteral("Kolvane-Tmp");
  }
  if (mode.kind == StartMode::Uninstaller && hooks_.runUninstaller) {
    const bool removed = hooks_.runUninstaller(mode.folder);
    if (hooks_.showInfo) hooks_.showInfo(Text(removed ? 42 : 43));
  }
  return mode.kind == StartMode::Gateway || mode.kind == StartMode::Installer;
}

bool Gateway::prepareFolder() {
  const int why = prepareProgramFolder(gs_.ProgramDir);
  if (why == 0) return true;
  const QString text =
      fillPlaceholders(Text(414), {QDir::toNativeSeparators(gs_.ProgramDir), Text(why)});
  if (hooks_.showError) hooks_.showError(text);
  exitCode_ = 1;
  return false;
}

void Gateway::applyLogOptions() {
  const Settings& s = gs_.cfg;
  LogOptions o;
  o.Debug = s.Debug;
  o.ExceptReport = s.ExceptReport;
  o.LogFiOn = s.LogFiOn;
  o.LogSeekMax = s.LogSeekMax;
  o.LogFiNumMask = s.LogFiNumMask;
  o.LogFiDateMask = s.LogFiDateMask;
  o.MeMaxLi = s.MeMaxLi;
  log_->configure(o);
  TrafficLogMasks masks;
  masks.Pop3TxtMask = s.Pop3TxtMask;
  masks.SmtpTxtMask = s.SmtpTxtMask;
  masks.SentOutTxtMask = s.SentOutTxtMask;
  traffic_->configure(masks);
}

IniText Gateway::layeredSettings(const IniText& file) {
  const ExeIniBlock block = readExeIniBlock(options_.programFile);
  if (block.result < 0) Log(true, exeIniErrorText(block.result));
  IniText layered = block.ini;
  layered.mergeFrom(file);
  return layered;
}

IniText Gateway::loadAllSettings(DateTime startTime) {
  const IniFile file(gs_.file(files::kSettings));
  if (file.unreadable()) {
    Log(true, QStringLiteral("!!! Settings file %1 cannot be read: running on defaults, the file "
                             "is left unchanged !!!")
                  .arg(QDir::toNativeSeparators(file.path())));
  }
  const IniText read = file.read();
  // Told once the run's first line is out, and only by the copy that runs.
  if (!file.exists()) {
    settingsNotice_ = fillPlaceholders(Text(511), {QDir::toNativeSeparators(file.path())});
  } else if (const auto bytes = ReadWholeFile(file.path()); bytes && bytes->trimmed().isEmpty()) {
    settingsNotice_ = fillPlaceholders(Text(512), {QDir::toNativeSeparators(file.path())});
  }
  loadSettings(gs_, layeredSettings(read), startTime,
               [this](const QString& line) { Log(true, line); });
  applyLogOptions();
  language_.setLanguage(gs_.cfg.Language);
  return read;
}

bool Gateway::InitX() {
  // 1. Start time, version, folder.
  const DateTime startTime = clock_.now();
  gs_.ProgramVersion = QStringLiteral(KOLVANE_VERSION);

  // 2. The pre-configured copy builder.
  if (isDefCopyRequest(gs_.CommandLineText)) {
    const DefCopyResult r = buildDefCopy(options_.programFile, gs_.ProgramDir,
                                         gs_.CommandLineText.trimmed(), gs_.file(files::kSettings));
    const auto& box = r.ok ? hooks_.showInfo : hooks_.showError;
    if (box) box(r.message);
    exitCode_ = r.ok ? 0 : 1;
    return false;
  }

  // 3. Installer and uninstaller copies.
  if (!detectInstallMode()) return false;
  if (!gs_.InstallMode && !prepareFolder()) return false;

  // 4. Empty the pending lines and the memo.
  log_->clearPending();
  memo_.clear();
  if (const ProgramFolder folder = resolveProgramFolder(options_); folder.userFolder) {
    Log(true, fillPlaceholders(Text(413), {QDir::toNativeSeparators(gs_.ProgramDir),
                                           QDir::toNativeSeparators(folder.programFileFolder)}));
  }

  // 5.-10. Settings, derived values, tables, routing, placement, counters. What the program
  // changes of them later is written back at shutdown.
  const IniText read = loadAllSettings(startTime);
  settingsBaseline_.take(read, savedItemsAsRead(gs_, read, startTime));

  // 11. From here on every write goes to the file itself.
  settingsFile_.emplace(gs_.file(files::kSettings));
  settingsFile_->setFailureLog([this](const QString& line) { Log(true, line); });
  settingsFile_->setReadOnlyNotice([this] { Log(true, Text(513)); });

  // 12. Hand a command-line text to whichever copy sends it.
  // The installer's switch is no text to send.
  const bool handedOver =
      gs_.cfg.RunParamAsSMS && !gs_.CommandLineText.isEmpty() && !gs_.InstallMode;
  if (handedOver) storeParamAsSms(*settingsFile_, gs_.CommandLineText);

  // 13. One running copy per folder unless MultiRun allows more. The wizard runs from wherever
  // it was downloaded and leaves no lock file there.
  if (!gs_.TempCopyMode) {
    if (!gs_.cfg.MultiRun && !gs_.InstallMode) {
      instanceLock_ = std::make_unique<InstanceLock>(gs_.ProgramDir);
      if (!instanceLock_->tryAcquire()) {
        if (instanceLock_->openFailed()) {
          Log(true, QStringLiteral("!!! %1 cannot be opened: not started !!!")
                        .arg(QDir::toNativeSeparators(instanceLock_->lockPath())));
          exitCode_ = 1;
        } else {
          // The caller tells why; a copy that only handed its text over did its work.
          anotherCopyRuns_ = true;
          exitCode_ = handedOver ? 0 : 1;
          textHandedOver_ = handedOver;
        }
        return false;
      }
    }
    gs_.MainCaption = QStringLiteral("Kolvane");
  }

  // 14. Language on every window.
  if (hooks_.applyLanguageToWindows) hooks_.applyLanguageToWindows();

  // 15. Installer.
  if (gs_.InstallMode) {
    if (hooks_.runInstaller) hooks_.runInstaller();
    return false;
  }

  // 16. Normal run.
  normalRunStart(startTime);
  return true;
}

void Gateway::normalRunStart(DateTime startTime) {
  // Sets the report path always; the log-file generation only with LogFiOn.
  log_->prepareLogFiles();
  const Settings& s = gs_.cfg;
  statusNotes_.begin(startTime, {s.SmsInCnt, s.SmsOutCnt, s.EmlInCnt, s.EmlOutCnt});
  log_->setWatch([this](const QString& text) { statusNotes_.noteLine(text, clock_.now()); });
  statusServer_ = std::make_unique<StatusServer>(*this);
  statusServer_->listen();
  gs_.StartStopCaption = QStringLiteral("Start");
  gs_.StartStopImage = 0;
  gs_.CounterDateText = counterDateLabel(clock_.now());
  gs_.CountersChanged = true;
  Log(true, QString());
  if (!settingsNotice_.isEmpty()) Log(true, settingsNotice_);
  if (IniFile* ini = settingsFile()) ini->noticeIfReadOnly();
  // Before any start opens the mail ports.
  refreshTlsIdentity(*this);
  RestoreRescuedAppends(*this);
  RepairCutStores(*this);
  if (hooks_.loadClientLists) hooks_.loadClientLists();
  if (hooks_.checkPop3Store) hooks_.checkPop3Store();

  const auto exists = [this](const char* name) { return QFileInfo::exists(gs_.file(name)); };
  if (exists(files::kSmtpTmp)) gs_.Lamps.smtpBits |= kLampStore;
  if (exists(files::kPop3Tmp)) gs_.Lamps.pop3Bits |= kLampStore;
  gs_.WaitLamp = (gs_.cfg.PreSetTimeSw ? 1 : 0) | (exists(files::kSmtpWaitTmp) ? 2 : 0);

  if (hooks_.startLinkPasses) hooks_.startLinkPasses();
  if (hooks_.fillVoiceList) hooks_.fillVoiceList();
}

bool Gateway::closeQuery() {
  if (gs_.ShortcutClose) {
    gs_.ShortcutClose = false;
  } else if (gs_.cfg.CloseOff && !options_.headless) {
    // The window goes to the notification area instead; the windows module hides it.
    return false;
  }
  if (gs_.RelationIdle) return true;
  Log(true, Text(105));
  if (!gs_.CloseWanted && !gs_.StopPending) gs_.StopAskedAt = clock_.tick();
  gs_.CloseWanted = true;
  return false;
}

bool Gateway::requestClose() {
  if (shutDown_) return true;
  if (!closeQuery()) return false;
  shutdown();
  return true;
}

void Gateway::shutdown() {
  shutDown_ = true;
  cycleTimer_.stop();
  tmrAlarm_.stop();
  if (!gs_.InstallMode && !gs_.TempCopyMode) {
    if (!gs_.cfg.CmdOnClose.isEmpty() && hooks_.runHookCommand) {
      hooks_.runHookCommand(gs_.cfg.CmdOnClose);
    }
    if (hooks_.savePlacementsOfOpenWindows) hooks_.savePlacementsOfOpenWindows();
    // Records still queued for a held store reach it, or Rescue.Tmp, before the program ends.
    FinishAppendsThen(*this, [this] { finishShutdown(); });
    return;
  }
  QTimer::singleShot(0, this, [this] { Q_EMIT finished(); });
}

void Gateway::finishShutdown() {
  writeBackSettings();
  if (hooks_.stopLinkPasses) hooks_.stopLinkPasses();
  if (hooks_.linkHandleOpen && hooks_.linkHandleOpen()) {
    // The device gets 400 ms to settle before its handle is closed.
    QTimer::singleShot(400, this, [this] {
      if (hooks_.closeLinkHandle) hooks_.closeLinkHandle();
      Q_EMIT finished();
    });
    return;
  }
  QTimer::singleShot(0, this, [this] { Q_EMIT finished(); });
}

void Gateway::startCycle() {
  lastTickAt_ = clock_.tick();
  cycleTimer_.start(static_cast<int>(kCyclePaceMs));
  tmrAlarm_.start(static_cast<int>(recoveryWaitMs(*this)));
  // Every event handled on this thread is followed by a look at what it made due.
  if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) {
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &Gateway::armTimers,
            Qt::UniqueConnection);
  }
  // Files other programs drop or change (a waiting job, a store) make stages due too.
  folderProbe_ = std::make_unique<DirChangeProbe>(gs_.ProgramDir);
  if (folderProbe_->fd() >= 0) {
    folderNotifier_ = new QSocketNotifier(folderProbe_->fd(), QSocketNotifier::Read, this);
    connect(folderNotifier_, &QSocketNotifier::activated, this, &Gateway::folderChanged);
  }
}

void Gateway::armTimers() {
  if (shutDown_ || !folderProbe_) return;  // before startCycle() and after shutdown
  const CycleWait wait = nextCycleWait(*this);
  // Never faster than the 100 ms pace: a due moment a tick could not clear (a refused close)
  // must not make the cycle spin.
  const std::uint32_t ms = wait.paced ? paceLeft() : std::max(wait.ms, paceLeft());
  // Only ever earlier: a later due moment is found again when the timer has gone off.
  if (!cycleTimer_.isActive() || static_cast<std::uint32_t>(cycleTimer_.remainingTime()) > ms) {
    cycleTimer_.start(static_cast<int>(ms));
  }
  const std::uint32_t recovery = recoveryWaitMs(*this);
  if (!tmrAlarm_.isActive() || static_cast<std::uint32_t>(tmrAlarm_.remainingTime()) > recovery) {
    tmrAlarm_.start(static_cast<int>(recovery));
  }
}

std::uint32_t Gateway::paceLeft() const {
  const std::uint32_t since = clock_.tick() - lastTickAt_;
  return since >= kCyclePaceMs ? 0 : kCyclePaceMs - since;
}

void Gateway::folderChanged() {
  folderProbe_->changed();
  // A folder that can no longer be watched reports every look as a change: the notifier goes.
  if (folderProbe_->fd() < 0) folderNotifier_->setEnabled(false);
  // At the cycle's pace at most: the cycle's own file work must not wake it at once again.
  const auto ms = static_cast<int>(paceLeft());
  if (!shutDown_ && (!cycleTimer_.isActive() || cycleTimer_.remainingTime() > ms)) {
    cycleTimer_.start(ms);
  }
}

void Gateway::TimerTimer() {
  lastTickAt_ = clock_.tick();
  runMainCycle(*this);
  passes_->afterCycle();
}

void Gateway::TmrAlarmTimer() {
  kolvane::TmrAlarmTimer(*this);
  if (!shutDown_ && folderProbe_) tmrAlarm_.start(static_cast<int>(recoveryWaitMs(*this)));
}

}  // namespace kolvane
