#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

#include "platform/clock.h"

namespace kolvane {

struct Settings;

// One record of a store file: an SMS job, or a message of the POP3 store.
struct tMailRec {
  QByteArray PosID;   // yymmdd + six-digit sequence number
  QByteArray NamePC;  // jobs: the delivering PC; POP3 records: the PCs the message is for
  QByteArray From;
  QByteArray Toe;  // recipient with its angle brackets
  QByteArray Subj;
  // POP3 records: the message's date as its Date header shows it; records written before
  // records carried one have none.
  QByteArray Date;
  // Reports: where a reply goes (the number's address); empty for other records.
  QByteArray ReplyTo;
  // Jobs: the text as its writer wrote it, quoted-printable, when the SMS carries it converted.
  QByteArray Written;
  // Jobs met by temporary errors: one entry per attempt, its time ("yyyy-MM-dd HH:mm:ss"), a
  // space and the modem's answer.
  QList<QByteArray> Attempts;
  // The fields below are computed when the record is read; only the ones above and MimeBody
  // are stored.
  QByteArray TelNo;
  DateTime SendTime = 0;  // preset sending time named in Subj, 0 = none
  bool Report = false;    // Subj asks for a status report
  QByteArray MimeBody;    // quoted-printable body as stored
  // 1-based position of the CR that ends the record's "." line in the window read; -1 when
  // the window holds no complete record.
  std::int32_t EndPos = -1;
  bool OK = false;  // complete, with NamePC, From and Toe
};

// What a reader needs to derive SendTime and Report from a subject.
struct SubjectRules {
  QByteArray ReportPrefix;
  QByteArray PreSetPrefix;
  QString PreSetMaskDT;
  DateTime now = 0;  // "today" and "already past" of time-only preset times
};
SubjectRules subjectRules(const Settings& cfg, DateTime now);

// The stored bytes of one record: header lines (the date, the reply address, the written text,
// the preset time and the attempts only when set), an empty line, the dot-safe body, ".".
QByteArray MailRecToStr(const tMailRec& rec);

// Parses the first record found in a window; the labels are searched in the whole window, so
// a window that starts at the line feed ending the previous record still parses.
tMailRec StrToMailRec(const QByteArray& window, const SubjectRules& rules);

// The telephone number in a text: the first "+" or digit followed by a digit, and the digits
// after it. Empty when there is none.
QByteArray TelNoFromStr(const QByteArray& text);

// The telephone number in a subject, its encoded words decoded: the first run of digits with
// at least six characters, or four beginning with "+" or "00"; empty when none looks so.
QByteArray TelNoFromSubject(const QByteArray& subject);

// The preset sending time named in a subject after the prefix, or 0.
DateTime PreSetTimeParse(const QByteArray& subject, const SubjectRules& rules);

}  // namespace kolvane
