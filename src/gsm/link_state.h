#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "gsm/at_engine.h"
#include "gsm/device_link.h"
#include "gsm/gate_state.h"
#include "gsm/outage_count.h"
#include "gsm/relation_faults.h"
#include "gsm/sms_rec.h"
#include "platform/clock.h"

namespace kolvane {

// The GSM link's shared values: the transport, the AT automaton and the list reader.
// Everything runs on the gateway's one event loop, so no value needs a lock.
struct LinkState {
  // Transport.
  std::unique_ptr<DeviceLink> ComHandle;  // open serial link, or null ("invalid handle")
  bool comHandleValid() const { return ComHandle && ComHandle->isOpen(); }
  std::uint8_t LinkKind = 0;  // 1 serial, 2 TCP, 0 none
  bool GtNetConnected = false;
  bool GtNetError = false;
  bool GtNetRefused = false;
  QByteArray GtNetRecvBuf;
  // The relation's end waits for the gateway to drop the connection, until GtNetCloseUntil.
  bool GtNetClosing = false;
  Tick GtNetCloseUntil = 0;
  QByteArray GsmRecvStr;
  QByteArray GsmSendStr;
  bool GsmSendOn = false;
  QByteArray GateSendStr;
  bool GateSendOn = false;
  DateTime GateSendTime = 0;
  bool RecvBusy = false;
  bool SendBusy = false;
  bool RecvStopOK = false;
  bool SendStopOK = false;
  std::int32_t NoAnswerCnt = 0;
  Tick LastSendTick = 0;
  // The watchdog's sign of life for the command in flight: its write, or bytes received since.
  Tick AnswerActTick = 0;
  Tick LastActTick = 0;
  std::int32_t RecvByteCnt = 0;
  // Until the next command is out, what the device sends is left over from before (a previous
  // relation, noise at connect, the answer to an ESC) and is dropped.
  bool KickOffDiscard = false;
  RelationFaults Faults;
  // Opens of the link failed in a row (an outage).
  OutageCount Outage;

  // AT automaton.
  std::uint32_t GsmTimeout = 2000;
  std::uint8_t AutPhase = 0;
  std::uint8_t CpasValue = 255;
  bool CscaPending = true;
  QByteArray SmscNo = QByteArrayLiteral("+420600000001");
  std::uint8_t MemIdx = 0;
  bool PhoneMemOn = true;
  Tick ListTick = 0;
  QByteArray ListBuf;
  QByteArray ListPrev;
  bool ListDone = false;
  std::int32_t DelPos = -1;
  std::int32_t DelCnt = 0;
  // With SMSDeleteOff a harmless "AT" stands in for the delete command; its answer still
  // belongs to the delete step.
  bool DelStandIn = false;
  bool SmsAccepted = false;
  bool WaitPrompt = false;
  bool WaitResult = false;
  bool SmsSendDone = false;
  bool SmsSendFail = false;
  // Why the job in hand was not sent (the modem's answer), and whether a later try may succeed.
  QByteArray SendFailReason;
  bool SendFailTemporary = false;
  // The job in hand's final result did not come within SendResultTimeout: the send may still
  // have gone out, and a late "+CMGS" says so.
  bool ResultGivenUp = false;
  QByteArray GsmSmsBody;
  std::int32_t ErrCnt = 0;
  std::uint8_t ComErrCnt = 0;
  bool GsmConnected = false;
  bool FirstOkPending = false;
  bool LinkFailed = false;

  // SIM, network and new-message indications, from the kick-off's questions.
  QByteArray SimState;  // what "+CPIN:" said in this relation
  QString SimNotice;    // the SIM line logged last, so a lasting state logs once
  // The PIN went out and got no answer (or "SIM busy"): the SIM's next "+CPIN:" tells whether
  // it took. It is never written again meanwhile.
  bool PinUnanswered = false;
  std::optional<Tick> SimBusySince;  // the SIM answered "busy" first in this kick-off
  std::int8_t RegState = -1;         // "+CREG:" registration state of this relation; -1 unknown
  bool NotRegistered = false;        // this relation keeps its jobs
  bool RegNoticeLogged = false;      // logged once while it lasts
  bool IndicationOn = false;         // the modem took AT+CNMI in this relation
  // Refusals of AT+CNMI in a row; at three the modem is polled until it is connected anew (after
  // an outage or a restart of the module).
  std::uint8_t IndicationRefusals = 0;
  // The modem never answers: one line when it begins, then once an hour; the first "OK" ends it.
  OutageCount Silence;
  QString ErrorNotice;  // the modem error logged last in the kick-off, so it logs once
  // "+CMTI" came for the storage since its last listing command: bit 0 the SIM, bit 1 the phone.
  std::uint8_t SmsAnnounced = 0;
  // The listing runs for announced SMS: it reads their storage and no other.
  bool ListingAnnounced = false;
  bool ReadPhaseDone = false;  // the relation's round has listed and deleted
  Tick RoundTick = 0;          // the last kick-off

  // The reader of the modem's lines and the command in flight (gsm/at_engine.h).
  at::AtEngine At;

  // Received SMS.
  SmsRecvArray SmsRecvArr;
  SmsLongArray SmsLongArr;
  // Listings in a row that could not read an entry, by storage and index.
  QHash<QByteArray, int> UnreadableCounts;
  // The listing's entries do not add up: it is read once more before anything is deleted.
  bool ListDoubtful = false;
  bool ListReread = false;

  // ISDN/LAN gateway devices.
  GateProtocolState Gate;
};

inline constexpr int RestartLimit = 5;

constexpr std::uint8_t AnnouncedBit(std::uint8_t memIdx) {
  return static_cast<std::uint8_t>(1u << (memIdx & 1u));
}

}  // namespace kolvane
