#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <map>
#include <memory>

#include "context/char_replacement.h"
#include "context/listed_entry_guard.h"
#include "context/pending_appends.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace kolvane {

struct TlsIdentity;

// Working files, each the program folder plus a fixed name.
namespace files {
inline constexpr char kSettings[] = "Kolvane.ini";
inline constexpr char kLang[] = "Lang.ini";
inline constexpr char kLog[] = "Log.txt";
inline constexpr char kLogOld[] = "Log.old";
inline constexpr char kExceptReport[] = "ExceptReport.txt";
inline constexpr char kSmtpTmp[] = "Smtp.Tmp";
inline constexpr char kSmtpRun[] = "Smtp.Run";
inline constexpr char kSmtpWaitTmp[] = "SmtpWait.Tmp";
inline constexpr char kSmtpWaitRun[] = "SmtpWait.Run";
inline constexpr char kSmtpPriHTmp[] = "SmtpPriH.Tmp";
inline constexpr char kSmtpPriHRun[] = "SmtpPriH.Run";
inline constexpr char kPop3Tmp[] = "Pop3.Tmp";
inline constexpr char kPop3Cut[] = "Pop3.Cut";
inline constexpr char kMishmashPrefix[] = "Mishmash";
// Appends a stop could not write, for the next start to write first.
inline constexpr char kRescueTmp[] = "Rescue.Tmp";
}  // namespace files

// The five lamp fields, compared and copied as one unit.
struct LampState {
  std::uint8_t semaphore = 0;  // 0 stopped, 1 started
  std::uint8_t linkStage = 0;  // 0 none, 1 connected, 2 idle, 3 listing, 4 SMS received,
                               // 5 sending, 6 disconnected
  std::uint8_t reserved = 0;
  std::uint8_t smtpBits = 0;  // bit 0 listening, bit 1 store not empty, bit 2 client connected
  std::uint8_t pop3Bits = 0;  // bit 0 listening, bit 1 store not empty, bit 2 client connected
  bool operator==(const LampState&) const = default;
};
inline constexpr std::uint8_t kLampListening = 1;
inline constexpr std::uint8_t kLampStore = 2;
inline constexpr std::uint8_t kLampClient = 4;
inline void setLampBit(std::uint8_t& bits, std::uint8_t bit, bool on) {
  bits = on ? (bits | bit) : (bits & ~bit);
}

struct AliasType {
  QString NamePC;
  QString AliasName;
};
struct ReplaceType {
  QByteArray TelNo;
  QByteArray EmlAddr;
};
struct SmsToCmdSubstType {
  QString Subst;
  QString CmdStr;
};
struct tAutoPop3RoutRec {
  QByteArray TelNo;
  DateTime EndTime = 0;
  QByteArray NamePC;
};

// Placement of one window as kept in the settings file, also while the window does not exist.
struct WindowPlacement {
  int Top = 0;
  int Left = 0;
  int Height = 0;
  int Width = 0;
  bool valid = false;
};

// The waiting store's requests and schedule (kept here while no waiting-store window exists).
struct WaitStoreState {
  QByteArray ReturnSenderID;   // PosID of a waiting job to return to its sender
  QByteArray DeleteItemID;     // PosID of a waiting job to drop
  bool PreSetTimeRun = false;  // a scan is running
  DateTime WaitNextTime = 0;   // earliest preset time known to wait; 0 = scan at every tick
  bool MoveFailing = false;    // the last scan's jobs found no room in their next store
  // The job waiting because its send's result never came, until it leaves for its retry: a late
  // "+CMGS" means it went out after all, and SentLateID takes it out of the store.
  QByteArray GivenUpID;
  QByteArray GivenUpTelNo;
  QByteArray SentLateID;
};

// The drop file as the file drop last saw it: taken once it has stood unchanged for a second,
// and a last line without its line end once it stood so from one scan to the next.
struct DropFileLook {
  qint64 size = -1;  // -1: no drop file seen
  QDateTime modified;
  Tick since = 0;         // seen so first
  bool tailKept = false;  // it holds an unfinished line left at a scan
  bool sameFile(const DropFileLook& o) const { return size == o.size && modified == o.modified; }
};

// The core's process-wide values. One object, reachable by every module through the GatewayContext.
struct GatewayState {
  // Working folder, with a trailing "/".
  QString ProgramDir;
  QString file(const char* name) const { return ProgramDir + QLatin1String(name); }
  QString ProgramVersion;
  QString CommandLineText;  // the command-line text after the program path

  // Settings of section CFG; the counters SmsInCnt, SmsOutCnt, EmlInCnt, EmlOutCnt and the run
  // position SmtpRunPos live there under their keys.
  Settings cfg;
  bool CountersChanged = false;

  // Settings tables.
  QList<AliasType> Aliases;
  QList<ReplaceType> Replacements;
  QList<QString> SmsToCmdTelNo;
  QList<SmsToCmdSubstType> SmsToCmdSubst;
  QList<tAutoPop3RoutRec> AutoPop3RoutArr;
  CharReplacement charRepl;
  int InMailAdrPlusPos = -1;  // index of "<+>" in InMailAdr, -1 when absent
  int GsmDeviceIdx = 0;       // index into the device table
  QString ComNoText;          // the main window's COM number field
  int ComTcpIdx = 0;          // the main window's link selector: 0 "COM", 1 "TCP-IP"
  // The selector's text; an index outside the list selects nothing.
  QString ComTcpText() const {
    if (ComTcpIdx == 0) return QStringLiteral("COM");
    if (ComTcpIdx == 1) return QStringLiteral("TCP-IP");
    return {};
  }
  std::map<QString, WindowPlacement> Placements;  // by form name
  int PgNdx = 0;

  // Relation state.
  bool RelationOn = false;
  bool RelationClosing = false;
  // Nothing runs at start, so a close before the first relation goes through.
  bool RelationIdle = true;
  bool StopPending = false;
  bool UserStopped = false;
  bool KickOffPending = false;
  bool ExtraRoundWanted = false;
  bool ExtraRoundDone = false;
  bool RestartWanted = false;
  bool TestStart = false;
  std::uint8_t TestStartErr = 0;
  bool FirstStart = true;
  std::int32_t TcpRetryCount = 0;
  // A start waits for the TCP gateway to connect; the main cycle holds off meanwhile.
  bool StartWaitOn = false;

  // The mail servers' listening sockets are open.
  bool SmtpListen = false;
  bool Pop3Listen = false;
  // The next try of a port that did not open (0 = none), and the line logged for each failing
  // port by its server's name.
  Tick ListenRetryAt = 0;
  std::map<QString, QString> ListenFailureLogged;
  // The certificate the mail servers serve (mail/tls_identity.h); replaced whole on SIGHUP, so
  // a session keeps the one it began with.
  std::shared_ptr<const TlsIdentity> MailTls;
  // Why the serial device did not open at the last try (empty when it did).
  QString DeviceOpenProblem;

  // Timing.
  Tick TickBegin = 0;
  DateTime TimerLast = 0;
  bool Run = false;
  Tick RelationBase = 0;
  std::uint32_t IntervalMs = 0;
  std::uint32_t PeriodicIntervalMs = 0;  // Interval in ms, 0 when out of range
  std::uint32_t RefrOn = 0;              // ms
  std::uint32_t RefrPer = 0;             // ms
  bool RefreshMode = false;
  std::uint32_t RefreshOffset = 0;
  Tick NextSecondTick = 0;
  bool SendPhaseDue = false;
  Tick SendPhaseAt = kNoTick;
  bool SendPhaseOn = false;
  Tick CloseAtTick = kNoTick;
  Tick SendUpAtTick = 0;
  DropFileLook SendUpLook;
  DateTime RecoveryAt = 2958465.99998843;  // 31 December 9999 23:59:59

  // The mail job in hand.
  std::int32_t SmtpRunNext = 0;
  std::int32_t SmtpRunSize = -1;
  bool StoreMovePending = false;
  // The job's record as read from the run file: a retry or a report takes it from here.
  QByteArray JobRecord;
  QByteArray JobNamePC, JobTelNo, JobSubj;
  bool JobReport = false;
  QByteArray JobRawText;
  std::uint8_t JobLoID = 0, JobLoHi = 0, JobLoNo = 0;
  QByteArray JobText;
  QString JobWideText;
  bool JobOk = false;
  bool JobLast = false;
  bool JobUCS2 = false;
  std::uint8_t LastCharset = 100;

  // Reference of the last concatenated SMS made (1 to 250), for the whole run.
  std::uint8_t ConcatRef = 1;

  // Stores.
  WaitStoreState WaitStore;
  PendingAppends StoreAppends;

  // Queue flags of the command runner and speech (their queues live with them).
  bool RunThreadOn = false;
  bool RunResultsDue = false;
  bool RunReporting = false;
  bool SpeakThreadOn = false;
  // Listed command and speech SMS acted on: each runs once, whatever later listings show.
  ListedEntryGuard SmsActions;
  // Listed SMS stored whose delete the device has not confirmed: listed again (a failed
  // delete, a relation ended before it), they are not stored twice.
  ListedEntryGuard SmsStored;

  // Display state the windows show.
  LampState Lamps;
  LampState LampShown{255, 255, 255, 255, 255};
  std::uint8_t WaitLamp = 0;
  QString StatusText;
  QString StatusShown;
  QString StartStopCaption;
  int StartStopImage = 0;
  // The link selector, the COM number and the "More setting" button; locked during a relation.
  bool LinkControlsEnabled = true;
  QString MainCaption = QStringLiteral("Kolvane-init");
  QString CounterDateText;

  // Alarm.
  bool AlarmBeep = false;
  std::int32_t AlarmBeepTick = 0;

  // Start-up gate.
  bool FirstPaintPending = true;
  bool StartupDue = false;
  std::int32_t StartupWaitTicks = 0;
  bool InstallMode = false;
  bool TempCopyMode = false;
  bool ShortcutClose = false;
  // A close was refused because a relation runs: the program closes when it has ended.
  bool CloseWanted = false;
  // When the stop or close was asked for: an SMS result still awaited gets a short while more.
  Tick StopAskedAt = 0;
};

}  // namespace kolvane
