#pragma once

#include <QByteArray>
#include <QDateTime>
#include <optional>

namespace kolvane {

class GatewayContext;

// A date as mail headers write it, with its zone and English names whatever the locale:
// "Thu, 10 Dec 2026 09:58:12 +0100".
QByteArray MailDate(const QDateTime& t);

// MailDate of the present local time.
QByteArray MailDateNow(const GatewayContext& g);

// The network's time stamp of a received SMS as the listing shows it, "yy/MM/dd,hh:mm:ss"
// followed by the zone in quarter hours ("+04") or by nothing (then it is local time); none
// when it is no time stamp.
std::optional<QDateTime> SmsTimeStamp(const QByteArray& stamp);

// The date line of a received SMS: its time stamp, else the present time.
QByteArray ReceivedSmsDate(const GatewayContext& g, const QByteArray& stamp);

}  // namespace kolvane
