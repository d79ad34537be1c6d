#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace kolvane {

// The pseudo-domain of the addresses this system makes up (SMS senders, file drop, command line).
inline constexpr char kPseudoDomain[] = "kolvane.lan";

// An entry of section MailUsers: an account's name and its password's salted hash.
struct MailUser {
  QString name;
  QString hash;
};

// Every key of section CFG of "Kolvane.ini", named by its key, with its compiled-in default.
struct Settings {
  // General and diagnostics
  bool Debug{false};
  int MeMaxLi{200};
  bool CloseOff{false};
  bool MultiRun{false};
  QString Language{QStringLiteral("EN")};
  bool LogFiOn{false};
  int LogSeekMax{100000};
  QString LogFiNumMask{QStringLiteral("000")};
  QString LogFiDateMask{QStringLiteral("YYMMDD")};
  QString Pop3TxtMask{QStringLiteral("Pop3_YYMM.txt")};
  QString SmtpTxtMask{QStringLiteral("Smtp_YYMM.txt")};
  QString SentOutTxtMask{QStringLiteral("SentOut_YYMM.txt")};
  bool ExceptReport{false};
  QString UserName{QStringLiteral("kolvane")};

  // GSM link
  QString GsmDevice{QStringLiteral("Unknown")};
  int ComTcp{0};
  int ComNo{-1};
  int ComNdx{0};
  QString ComName;
  bool ComParamOn{true};
  int BaudRate{9600};
  bool DTROn{true};
  bool RTSOn{false};
  bool PDUText{true};
  QByteArray GtIPAdress{QByteArrayLiteral("192.168.1.200")};
  int GtTCPPort{11201};
  QByteArray AtSend{QByteArrayLiteral("AT+CMGS=")};
  bool EchoSkip{false};
  bool MemCheOn{true};
  bool SMSDeleteOff{false};
  bool LiptelUCS2{true};
  bool TestStartOn{true};
  int RecoveryStartIncMin{0};
  QString SimPin;  // entered once when the SIM asks; never logged
  QString
      SimPinRefused;  // digest of the PIN last entered until the SIM took it (gsm/sim_pin_mark.h)
  bool SmsIndication{true};
  // How long a job met by temporary network errors is tried again, in hours; 0 = not at all.
  int SendRetryHours{24};

  // Exchange cycle
  bool OnLine{false};
  double Interval{5};
  int IntervalOnLine{5000};
  bool StartGo{false};
  bool EndClose{false};
  bool MaxSmsSendOn{false};
  int MaxSmsSendNo{20};
  int SendSMSDelay{1000};
  // Seconds the final result of a send is awaited before the job counts as unsent.
  int SendResultTimeout{120};
  int RefrOn{60};
  int RefrPer{10};
  int SmtpRunPos{0};
  QString SendUpTxtName{QStringLiteral("SendUp.txt")};
  QString SendUpTmpName{QStringLiteral("SendUp.tmp")};
  std::uint16_t SendFiTxtDelay{10};
  bool RunParamAsSMS{false};
  QByteArray RunParDefTelNo;

  // SMTP and POP3 servers
  int SmtpPort{25};
  int Pop3Port{110};
  bool SmtpCliLimOn{false};
  int SmtpCliMax{100};
  bool Pop3CliLimOn{false};
  int Pop3CliMax{100};
  // Connections of both servers side by side, from one address and in all; one more is
  // refused at once.
  int MailCliPerHostMax{10};
  int MailCliTotalMax{100};
  bool DNSOff{false};
  bool HeloAdd{true};
  bool Ehlo500{false};    // true: EHLO gets "500" and the client falls back to HELO
  int SmtpMaxMailMB{32};  // a larger mail is refused with "552"
  int SmtpMaxRcpt{100};   // recipients of one mail; more get "452"
  bool AliasOn{false};
  // TLS and accounts of the mail servers
  int SmtpsPort{0};           // SMTP with TLS from the first byte; 0 = off
  int Pop3sPort{0};           // POP3 with TLS from the first byte; 0 = off
  QString MailListenAddress;  // every mail port binds to it; empty = every address
  QString TlsCertFile;        // PEM; empty or unreadable: the gateway's own certificate
  QString TlsKeyFile;
  bool MailTlsRequired{false};  // nothing but EHLO/CAPA/QUIT/STARTTLS/STLS in clear
  QString MailTrustedHosts{QStringLiteral("127.0.0.1 ::1")};  // may send without AUTH

  // E-mail to SMS
  bool ToTakeFromRcpt{true};
  bool ReplAddrOn{false};
  bool CutEMail{false};
  int CutEMax{5};
  bool CutELong{true};
  bool ConcatenateSMS{false};
  bool EmlSmsAuto{true};
  QString EmlSmsChConv;
  int EmlSmsNoOk{0};
  bool SendUCS2SmsPermit{false};
  QByteArray MailSmsInCh;
  QByteArray MailSmsOutCh;
  bool MailCutQuotes{true};  // a reply's SMS is the answer only, without the quote
  bool PreSetTimeSw{false};
  QString PreSetPrefix{QStringLiteral("SendTime")};
  QString PreSetMaskDT{QStringLiteral("YYYY-MM-DD HH:NN:SS")};
  QString PreSetMaskTi{QStringLiteral("HH:NN:SS")};
  bool PreSetErr{true};
  bool ReportSw{false};
  QString ReportPrefix{QStringLiteral("Report")};
  bool ReportAll{false};
  bool PrioritySw{false};
  bool PriorityEmail{false};
  bool SmtpToPop3Report{false};

  // SMS to e-mail
  QString InMailAdr{QStringLiteral("<+>@kolvane.lan")};
  bool ReplTelNoOn{false};
  std::uint8_t ExpireDay{7};
  QByteArray RouteMark{QByteArrayLiteral("#")};
  bool BasketOn{false};
  bool BasketToo{false};
  QString BasketName;
  bool AutoPop3Routing{false};
  int AutoPop3RouteTout{120};
  bool TimeToSubject{false};
  bool TimeToBody{false};
  QString ToSubjBeginBody;
  QString ToSubjEndBody;
  QString ToSubjBeginSubj;
  QString ToSubjEndSubj;

  // Actions on received SMS
  QString CommandMark{QStringLiteral("#")};
  bool SmsToCmdSw{false};
  QString SmsToCmdCommand{QStringLiteral("Command")};
  bool SmsToCmdEml{true};
  bool SmsToCmdStat{true};
  QString SmsToCmdPC{QStringLiteral("localhost")};
  QString TtsMark{QStringLiteral("#")};
  bool SmsToTtsSw{false};
  QString SmsToTtsTts{QStringLiteral("TTS")};
  bool SmsToTtsEml{true};
  QString SmsToTtsPC{QStringLiteral("localhost")};
  QString TtsVoice;
  QString InSmsAlarmStr;
  QString FindWinNotRun;
  int CmdTimeout{60};  // seconds a command's program is waited for

  // Command lines run on events
  QString CmdOnClose;
  QString CmdOnUndispatched;
  QString CmdOnNonDelivery;
  QString CmdOnConnectFailed;
  QString CmdOnException;

  // Counters and bookkeeping
  int SmsInCnt{0};
  int SmsOutCnt{0};
  int EmlInCnt{0};
  int EmlOutCnt{0};
  DateTime DTSaveToIni{0};

  // Section MailUsers, read with CFG; empty: no accounts.
  std::vector<MailUser> MailUsers;
};

enum class SettingType { Bool, Int, Int16, Int8, Real, DateTime, Str, Str8 };
// Whether the shutdown writes the key back.
enum class Saved { No, Yes, WhenComParamOn };

struct SettingKey {
  const char* name;
  SettingType type;
  Saved saved;
  // Exactly one of these matches type.
  bool Settings::*boolMember = nullptr;
  int Settings::*intMember = nullptr;
  std::uint16_t Settings::*int16Member = nullptr;
  std::uint8_t Settings::*int8Member = nullptr;
  double Settings::*realMember = nullptr;
  QString Settings::*strMember = nullptr;
  QByteArray Settings::*str8Member = nullptr;
};

// All keys of section CFG in the order of their topics.
const std::vector<SettingKey>& settingKeys();
const SettingKey* findSettingKey(const QString& name);

}  // namespace kolvane
