#pragma once

#include <QByteArray>

namespace kolvane {

class GatewayContext;

enum class ListScan { Incomplete, Complete };

// One pass over the list answer `answer`. Only the committing pass stores messages into
// SmsRecvArr and SmsLongArr; a pass that reaches the end reports the answer complete.
ListScan ScanSmsList(GatewayContext& gateway, const QByteArray& answer, bool committing);

// The length field of a "+CMGL" header (seventh field; quoted fields may hold commas):
// 1..160, or -1.
int ListedLength(QByteArrayView header);

// Escaped form of a received text: bytes below 32, "=" and above 127 as "=" + two hex digits.
QByteArray EscapeSmsText(QByteArrayView text);

}  // namespace kolvane
