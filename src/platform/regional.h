#pragma once

#include <QString>
#include <optional>

#include "platform/clock.h"

namespace kolvane {

// The machine's regional number and date formats for values kept in the settings file.
// Whatever is written reads back on the same machine.
namespace regional {

// Shortest decimal text of the number, no group separators.
QString formatReal(double value);
std::optional<double> parseReal(const QString& text);

// Short date and long time, with a four-digit year so the century reads back.
QString formatDateTime(DateTime value);
std::optional<DateTime> parseDateTime(const QString& text);

}  // namespace regional
}  // namespace kolvane
