#pragma once

namespace kolvane::at {

// Commands as the modem sees them; replies are recognised by comparing with the last one sent.
inline constexpr char kAt[] = "AT";
inline constexpr char kEchoOff[] = "ATE0";
// Errors as "+CME ERROR: n" rather than a bare "ERROR".
inline constexpr char kNumericErrors[] = "AT+CMEE=1";
inline constexpr char kActivity[] = "AT+CPAS";
inline constexpr char kServiceCentre[] = "AT+CSCA?";
inline constexpr char kFormat[] = "AT+CMGF=";
inline constexpr char kFormatPdu[] = "AT+CMGF=0";
inline constexpr char kFormatText[] = "AT+CMGF=1";
inline constexpr char kShowTextParams[] = "AT+CSDH=1";
inline constexpr char kSignal[] = "AT+CSQ";
inline constexpr char kStorage[] = "AT+CPMS=";
inline constexpr char kStorageSim[] = "AT+CPMS=\"SM\"";
inline constexpr char kStoragePhone[] = "AT+CPMS=\"ME\"";
inline constexpr char kList[] = "AT+CMGL=";
inline constexpr char kListPdu[] = "AT+CMGL=4";
inline constexpr char kListText[] = "AT+CMGL=\"ALL\"";
inline constexpr char kDelete[] = "AT+CMGD=";
inline constexpr char kCharsetGsm[] = "AT+CSCS=\"GSM\"";
inline constexpr char kCharsetUcs2[] = "AT+CSCS=\"UCS2\"";
inline constexpr char kParamsGsm[] = "AT+CSMP=17,167,0,0";
inline constexpr char kParamsUcs2[] = "AT+CSMP=17,167,0,8";

inline constexpr char kPinQuery[] = "AT+CPIN?";
inline constexpr char kPinEntry[] = "AT+CPIN=";
inline constexpr char kRegistration[] = "AT+CREG?";
// New SMS are stored and announced with "+CMTI" (buffered while the link is busy).
inline constexpr char kIndication[] = "AT+CNMI=2,1,0,0,0";

inline constexpr char kCtrlZ = 26;

// Answer time-outs in ms.
inline constexpr unsigned kKickOffTimeout = 1000;
inline constexpr unsigned kCommandTimeout = 2000;
inline constexpr unsigned kLongTimeout = 8000;
// A stop waits this long for the result of an SMS whose body is out; after it the job counts
// as unsent and goes out at the next start.
inline constexpr unsigned kStopResultWaitMs = 15000;

}  // namespace kolvane::at
