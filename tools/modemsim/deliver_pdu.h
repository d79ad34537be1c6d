#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "modemsim/stored_sms.h"

// SMS-DELIVER encoding of stored messages, and the address and time-stamp fields it shares with
// the text-mode listing.
namespace kolvane::modemsim {

// Type of address: 145 international, 129 national/unknown, 208 alphanumeric (also any
// number given as a name).
int addressType(const QString& number, bool name = false);
// Address field as in an originating or destination address: digit count, type, semi-octets.
QByteArray addressField(const QString& number, bool name = false);
// Service-centre field: octet count, type, semi-octets; a lone zero octet when empty.
QByteArray serviceCentreField(const QString& number);
// Seven octets: swapped BCD date and time, time zone in quarter hours.
QByteArray timeStampField(const QDateTime& time);
// "yy/MM/dd,hh:mm:ss+zz" as the text-mode header shows it.
QString timeStampText(const QDateTime& time);

int dataCodingScheme(Coding coding);
// User-data length: septets for Gsm7 (the header rounded up to whole septets), octets otherwise.
int userDataLength(const StoredSms& sms);
// The user data octets: header length octet and header, fill bits, then the payload.
QByteArray userData(const StoredSms& sms);
// The transfer-layer PDU (without the service-centre field).
QByteArray deliverTpdu(const StoredSms& sms);

}  // namespace kolvane::modemsim
