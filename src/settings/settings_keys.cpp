#include <algorithm>

#include "settings/settings.h"

namespace kolvane {

namespace {

template <typename T>
SettingKey key(const char* name, SettingType type, Saved saved, T Settings::*member) {
  SettingKey k{name, type, saved};
  if constexpr (std::is_same_v<T, bool>) k.boolMember = member;
  if constexpr (std::is_same_v<T, int>) k.intMember = member;
  if constexpr (std::is_same_v<T, std::uint16_t>) k.int16Member = member;
  if constexpr (std::is_same_v<T, std::uint8_t>) k.int8Member = member;
  if constexpr (std::is_same_v<T, double>) k.realMember = member;
  if constexpr (std::is_same_v<T, QString>) k.strMember = member;
  if constexpr (std::is_same_v<T, QByteArray>) k.str8Member = member;
  return k;
}

}  // namespace

const std::vector<SettingKey>& settingKeys() {
  static const std::vector<SettingKey> keys{
      key("Debug", SettingType::Bool, Saved::No, &Settings::Debug),
      key("MeMaxLi", SettingType::Int, Saved::No, &Settings::MeMaxLi),
      key("CloseOff", SettingType::Bool, Saved::No, &Settings::CloseOff),
      key("MultiRun", SettingType::Bool, Saved::No, &Settings::MultiRun),
      key("Language", SettingType::Str, Saved::Yes, &Settings::Language),
      key("LogFiOn", SettingType::Bool, Saved::No, &Settings::LogFiOn),
      key("LogSeekMax", SettingType::Int, Saved::No, &Settings::LogSeekMax),
      key("LogFiNumMask", SettingType::Str, Saved::No, &Settings::LogFiNumMask),
      key("LogFiDateMask", SettingType::Str, Saved::No, &Settings::LogFiDateMask),
      key("Pop3TxtMask", SettingType::Str, Saved::No, &Settings::Pop3TxtMask),
      key("SmtpTxtMask", SettingType::Str, Saved::No, &Settings::SmtpTxtMask),
      key("SentOutTxtMask", SettingType::Str, Saved::No, &Settings::SentOutTxtMask),
      key("ExceptReport", SettingType::Bool, Saved::No, &Settings::ExceptReport),
      key("UserName", SettingType::Str, Saved::Yes, &Settings::UserName),
      key("GsmDevice", SettingType::Str, Saved::Yes, &Settings::GsmDevice),
      key("ComTcp", SettingType::Int, Saved::Yes, &Settings::ComTcp),
      key("ComNo", SettingType::Int, Saved::Yes, &Settings::ComNo),
      key("ComNdx", SettingType::Int, Saved::No, &Settings::ComNdx),
      key("ComName", SettingType::Str, Saved::No, &Settings::ComName),
      key("ComParamOn", SettingType::Bool, Saved::No, &Settings::ComParamOn),
      key("BaudRate", SettingType::Int, Saved::WhenComParamOn, &Settings::BaudRate),
      key("DTROn", SettingType::Bool, Saved::WhenComParamOn, &Settings::DTROn),
      key("RTSOn", SettingType::Bool, Saved::WhenComParamOn, &Settings::RTSOn),
      key("PDUText", SettingType::Bool, Saved::WhenComParamOn, &Settings::PDUText),
      key("GtIPAdress", SettingType::Str8, Saved::Yes, &Settings::GtIPAdress),
      key("GtTCPPort", SettingType::Int, Saved::Yes, &Settings::GtTCPPort),
      key("AtSend", SettingType::Str8, Saved::No, &Settings::AtSend),
      key("EchoSkip", SettingType::Bool, Saved::No, &Settings::EchoSkip),
      key("MemCheOn", SettingType::Bool, Saved::No, &Settings::MemCheOn),
      key("SMSDeleteOff", SettingType::Bool, Saved::No, &Settings::SMSDeleteOff),
      key("LiptelUCS2", SettingType::Bool, Saved::No, &Settings::LiptelUCS2),
      key("TestStartOn", SettingType::Bool, Saved::No, &Settings::TestStartOn),
      key("RecoveryStartIncMin", SettingType::Int, Saved::No, &Settings::RecoveryStartIncMin),
      key("SimPin", SettingType::Str, Saved::Yes, &Settings::SimPin),
      // Written by the link at once, not at the stop.
      key("SimPinRefused", SettingType::Str, Saved::No, &Settings::SimPinRefused),
      key("SmsIndication", SettingType::Bool, Saved::No, &Settings::SmsIndication),
      key("SendRetryHours", SettingType::Int, Saved::Yes, &Settings::SendRetryHours),
      key("OnLine", SettingType::Bool, Saved::Yes, &Settings::OnLine),
      key("Interval", SettingType::Real, Saved::Yes, &Settings::Interval),
      key("IntervalOnLine", SettingType::Int, Saved::No, &Settings::IntervalOnLine),
      key("StartGo", SettingType::Bool, Saved::Yes, &Settings::StartGo),
      key("EndClose", SettingType::Bool, Saved::Yes, &Settings::EndClose),
      key("MaxSmsSendOn", SettingType::Bool, Saved::Yes, &Settings::MaxSmsSendOn),
      key("MaxSmsSendNo", SettingType::Int, Saved::Yes, &Settings::MaxSmsSendNo),
      key("SendSMSDelay", SettingType::Int, Saved::No, &Settings::SendSMSDelay),
      key("SendResultTimeout", SettingType::Int, Saved::Yes, &Settings::SendResultTimeout),
      key("RefrOn", SettingType::Int, Saved::No, &Settings::RefrOn),
      key("RefrPer", SettingType::Int, Saved::No, &Settings::RefrPer),
      key("SmtpRunPos", SettingType::Int, Saved::Yes, &Settings::SmtpRunPos),
      key("SendUpTxtName", SettingType::Str, Saved::No, &Settings::SendUpTxtName),
      key("SendUpTmpName", SettingType::Str, Saved::No, &Settings::SendUpTmpName),
      key("SendFiTxtDelay", SettingType::Int16, Saved::No, &Settings::SendFiTxtDelay),
      key("RunParamAsSMS", SettingType::Bool, Saved::No, &Settings::RunParamAsSMS),
      key("RunParDefTelNo", SettingType::Str8, Saved::No, &Settings::RunParDefTelNo),
      key("SmtpPort", SettingType::Int, Saved::Yes, &Settings::SmtpPort),
      key("Pop3Port", SettingType::Int, Saved::Yes, &Settings::Pop3Port),
      key("SmtpCliLimOn", SettingType::Bool, Saved::Yes, &Settings::SmtpCliLimOn),
      key("SmtpCliMax", SettingType::Int, Saved::Yes, &Settings::SmtpCliMax),
      key("Pop3CliLimOn", SettingType::Bool, Saved::Yes, &Settings::Pop3CliLimOn),
      key("Pop3CliMax", SettingType::Int, Saved::Yes, &Settings::Pop3CliMax),
      key("MailCliPerHostMax", SettingType::Int, Saved::Yes, &Settings::MailCliPerHostMax),
      key("MailCliTotalMax", SettingType::Int, Saved::Yes, &Settings::MailCliTotalMax),
      key("DNSOff", SettingType::Bool, Saved::No, &Settings::DNSOff),
      key("HeloAdd", SettingType::Bool, Saved::No, &Settings::HeloAdd),
      key("Ehlo500", SettingType::Bool, Saved::No, &Settings::Ehlo500),
      key("SmtpMaxMailMB", SettingType::Int, Saved::No, &Settings::SmtpMaxMailMB),
      key("SmtpMaxRcpt", SettingType::Int, Saved::No, &Settings::SmtpMaxRcpt),
      key("AliasOn", SettingType::Bool, Saved::Yes, &Settings::AliasOn),
      key("SmtpsPort", SettingType::Int, Saved::Yes, &Settings::SmtpsPort),
      key("Pop3sPort", SettingType::Int, Saved::Yes, &Settings::Pop3sPort),
      key("MailListenAddress", SettingType::Str, Saved::Yes, &Settings::MailListenAddress),
      key("TlsCertFile", SettingType::Str, Saved::Yes, &Settings::TlsCertFile),
      key("TlsKeyFile", SettingType::Str, Saved::Yes, &Settings::TlsKeyFile),
      key("MailTlsRequired", SettingType::Bool, Saved::Yes, &Settings::MailTlsRequired),
      key("MailTrustedHosts", SettingType::Str, Saved::Yes, &Settings::MailTrustedHosts),
      key("ToTakeFromRcpt", SettingType::Bool, Saved::No, &Settings::ToTakeFromRcpt),
      key("ReplAddrOn", SettingType::Bool, Saved::Yes, &Settings::ReplAddrOn),
      key("CutEMail", SettingType::Bool, Saved::Yes, &Settings::CutEMail),
      key("CutEMax", SettingType::Int, Saved::Yes, &Settings::CutEMax),
      key("CutELong", SettingType::Bool, Saved::Yes, &Settings::CutELong),
      key("ConcatenateSMS", SettingType::Bool, Saved::Yes, &Settings::ConcatenateSMS),
      key("EmlSmsAuto", SettingType::Bool, Saved::Yes, &Settings::EmlSmsAuto),
      key("EmlSmsChConv", SettingType::Str, Saved::Yes, &Settings::EmlSmsChConv),
      key("EmlSmsNoOk", SettingType::Int, Saved::Yes, &Settings::EmlSmsNoOk),
      key("SendUCS2SmsPermit", SettingType::Bool, Saved::Yes, &Settings::SendUCS2SmsPermit),
      key("MailSmsInCh", SettingType::Str8, Saved::No, &Settings::MailSmsInCh),
      key("MailSmsOutCh", SettingType::Str8, Saved::No, &Settings::MailSmsOutCh),
      key("PreSetTimeSw", SettingType::Bool, Saved::Yes, &Settings::PreSetTimeSw),
      key("PreSetPrefix", SettingType::Str, Saved::Yes, &Settings::PreSetPrefix),
      key("PreSetMaskDT", SettingType::Str, Saved::Yes, &Settings::PreSetMaskDT),
      key("PreSetMaskTi", SettingType::Str, Saved::Yes, &Settings::PreSetMaskTi),
      key("PreSetErr", SettingType::Bool, Saved::Yes, &Settings::PreSetErr),
      key("ReportSw", SettingType::Bool, Saved::Yes, &Settings::ReportSw),
      key("ReportPrefix", SettingType::Str, Saved::Yes, &Settings::ReportPrefix),
      key("ReportAll", SettingType::Bool, Saved::Yes, &Settings::ReportAll),
      key("PrioritySw", SettingType::Bool, Saved::Yes, &Settings::PrioritySw),
      key("PriorityEmail", SettingType::Bool, Saved::Yes, &Settings::PriorityEmail),
      key("SmtpToPop3Report", SettingType::Bool, Saved::No, &Settings::SmtpToPop3Report),
      key("InMailAdr", SettingType::Str, Saved::No, &Settings::InMailAdr),
      key("ReplTelNoOn", SettingType::Bool, Saved::Yes, &Settings::ReplTelNoOn),
      key("ExpireDay", SettingType::Int8, Saved::No, &Settings::ExpireDay),
      key("RouteMark", SettingType::Str8, Saved::No, &Settings::RouteMark),
      key("BasketOn", SettingType::Bool, Saved::Yes, &Settings::BasketOn),
      key("BasketToo", SettingType::Bool, Saved::Yes, &Settings::BasketToo),
      key("BasketName", SettingType::Str, Saved::Yes, &Settings::BasketName),
      key("AutoPop3Routing", SettingType::Bool, Saved::Yes, &Settings::AutoPop3Routing),
      key("AutoPop3RouteTout", SettingType::Int, Saved::Yes, &Settings::AutoPop3RouteTout),
      key("TimeToSubject", SettingType::Bool, Saved::No, &Settings::TimeToSubject),
      key("TimeToBody", SettingType::Bool, Saved::No, &Settings::TimeToBody),
      key("ToSubjBeginBody", SettingType::Str, Saved::No, &Settings::ToSubjBeginBody),
      key("ToSubjEndBody", SettingType::Str, Saved::No, &Settings::ToSubjEndBody),
      key("ToSubjBeginSubj", SettingType::Str, Saved::No, &Settings::ToSubjBeginSubj),
      key("ToSubjEndSubj", SettingType::Str, Saved::No, &Settings::ToSubjEndSubj),
      key("CommandMark", SettingType::Str, Saved::No, &Settings::CommandMark),
      key("SmsToCmdSw", SettingType::Bool, Saved::Yes, &Settings::SmsToCmdSw),
      key("SmsToCmdCommand", SettingType::Str, Saved::No, &Settings::SmsToCmdCommand),
      key("SmsToCmdEml", SettingType::Bool, Saved::Yes, &Settings::SmsToCmdEml),
      key("SmsToCmdStat", SettingType::Bool, Saved::Yes, &Settings::SmsToCmdStat),
      key("SmsToCmdPC", SettingType::Str, Saved::Yes, &Settings::SmsToCmdPC),
      key("TtsMark", SettingType::Str, Saved::No, &Settings::TtsMark),
      key("SmsToTtsSw", SettingType::Bool, Saved::Yes, &Settings::SmsToTtsSw),
      key("SmsToTtsTts", SettingType::Str, Saved::No, &Settings::SmsToTtsTts),
      key("SmsToTtsEml", SettingType::Bool, Saved::Yes, &Settings::SmsToTtsEml),
      key("SmsToTtsPC", SettingType::Str, Saved::Yes, &Settings::SmsToTtsPC),
      key("TtsVoice", SettingType::Str, Saved::Yes, &Settings::TtsVoice),
      key("InSmsAlarmStr", SettingType::Str, Saved::No, &Settings::InSmsAlarmStr),
      key("FindWinNotRun", SettingType::Str, Saved::No, &Settings::FindWinNotRun),
      key("CmdTimeout", SettingType::Int, Saved::No, &Settings::CmdTimeout),
      key("CmdOnClose", SettingType::Str, Saved::No, &Settings::CmdOnClose),
      key("CmdOnUndispatched", SettingType::Str, Saved::No, &Settings::CmdOnUndispatched),
      key("CmdOnNonDelivery", SettingType::Str, Saved::No, &Settings::CmdOnNonDelivery),
      key("CmdOnConnectFailed", SettingType::Str, Saved::No, &Settings::CmdOnConnectFailed),
      key("CmdOnException", SettingType::Str, Saved::No, &Settings::CmdOnException),
      key("SmsInCnt", SettingType::Int, Saved::Yes, &Settings::SmsInCnt),
      key("SmsOutCnt", SettingType::Int, Saved::Yes, &Settings::SmsOutCnt),
      key("EmlInCnt", SettingType::Int, Saved::Yes, &Settings::EmlInCnt),
      key("EmlOutCnt", SettingType::Int, Saved::Yes, &Settings::EmlOutCnt),
      key("DTSaveToIni", SettingType::DateTime, Saved::Yes, &Settings::DTSaveToIni),
      key("MailCutQuotes", SettingType::Bool, Saved::Yes, &Settings::MailCutQuotes),
  };
  return keys;
}

const SettingKey* findSettingKey(const QString& name) {
  const auto& keys = settingKeys();
  const auto it = std::find_if(keys.begin(), keys.end(), [&](const SettingKey& k) {
    return name.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0;
  });
  return it == keys.end() ? nullptr : &*it;
}

}  // namespace kolvane
