#pragma once

#include <QByteArray>
#include <QString>

#include "mail/mail_rec.h"

namespace kolvane {

class GatewayContext;
struct GatewayState;

// A POP3 record as the mail message a client retrieves: From, To, Subject, Date (the record's
// own, else the time of fetching), the content headers, an empty line and the body in
// quoted-printable lines, each ended by CR LF. Dot-stuffing and the closing "." line are the
// sender's. A reader rendering many records passes the Date header value once.
QByteArray RenderMessage(const GatewayContext& g, const tMailRec& rec, const QByteArray& date = {});
// The Date header value for the present time, with its zone.
QByteArray DateHeaderNow(const GatewayContext& g);

// The message's id for UIDL: the same in every session while the record is in the store.
QByteArray UniqueId(const tMailRec& rec);

// Whether a client PC may fetch a record: routing names, aliases and the basket PC.
bool IsReleasable(const GatewayState& gs, const tMailRec& rec, const QString& client);

// Like IsReleasable; a refusal is logged.
bool MayRelease(GatewayContext& g, const tMailRec& rec, const QString& client);

// The debug lines of one refused record.
void LogRefusedRecord(GatewayContext& g, const tMailRec& rec);

// A run of refusals for one client as one line with their count (a PC facing thousands of
// records for other PCs would otherwise flood the log).
void LogDeniedReleases(GatewayContext& g, const QString& client, qsizetype count);

}  // namespace kolvane
