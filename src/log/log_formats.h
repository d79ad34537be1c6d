#pragma once

#include <QChar>
#include <QDate>
#include <QString>
#include <QTime>

namespace kolvane {

// The time separator of the system locale's time format, ':' when it has none usable.
QChar regionalTimeSeparator();

// "hh:mm:ss" with the given separator between the parts.
QString logTimeStamp(const QTime& time, QChar separator);

// Date after a mask of YYYY, YY, MM, M, DD, D (any case); other characters are kept.
QString formatDateMask(const QDate& date, const QString& mask);

// Number after a mask such as "000": the run of '0'/'#' placeholders becomes the number with
// at least as many digits as there are '0's; text around the run is kept. Without placeholders
// the number follows the mask, so that successive names still differ.
QString formatNumberMask(qint64 number, const QString& mask);

}  // namespace kolvane
