#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "mail/mail_rec.h"
#include "platform/clock.h"

namespace kolvane {

class GatewayContext;

// One try of a job, as the job keeps it: "yyyy-MM-dd HH:mm:ss" and the modem's answer.
struct SendAttempt {
  DateTime at = 0;
  QByteArray reason;
};
QByteArray AttemptEntry(const SendAttempt& attempt);
std::optional<SendAttempt> ParseAttempt(const QByteArray& entry);

// A modem's answer as reports and the log name it, in the language in force: the words of
// the modem's error table after the code ("+CMS ERROR: 21 (the network rejected the SMS)").
QString ReasonText(GatewayContext& g, const QByteArray& reason);

// What a report for the sender of a job says.
struct SmsReport {
  QByteArray mark;  // "Non-delivery SMS: ", "Undispatched SMS: "
  QByteArray number;
  QString reason;
  QList<SendAttempt> attempts;
  QByteArray text;  // UTF-8, as the sender wrote it
  int part = 0;     // of a concatenated SMS; 0 for a single one
  int parts = 0;
};

// The gateway's own address in the domain of its SMS addresses, "<kolvane@DOMAIN>".
QByteArray GatewayAddress(const GatewayContext& g);

// The POP3 record of a report about job `job`: from the gateway, a reply going to the number,
// the body naming the reason, the number, each attempt and the text as written.
tMailRec ReportRecord(GatewayContext& g, const tMailRec& job, const SmsReport& report);

// The text of a job as its sender wrote it: the written text it carries, else its body without
// a concatenation header.
QByteArray WrittenText(const tMailRec& job);

}  // namespace kolvane
