#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

namespace kolvane {

// File name of a traffic log for a pattern such as "Pop3_YYMM.txt" on the given date; empty
// when the pattern gives no name (unknown prefix or middle part, no extension).
QString trafficFileName(const QString& pattern, const QDate& date);

// Bytes below 32 become spaces, then runs of spaces shrink to one.
QByteArray cleanTrafficText(const QByteArray& text);

// "YYYY-MM-DD HH:NN:SS" TAB tag TAB cleaned text CR LF.
QByteArray trafficLineBytes(const QDateTime& when, const QByteArray& tag, const QByteArray& text);

}  // namespace kolvane
