#pragma once

#include <QString>
#include <functional>

namespace kolvane {

// Receives a finished log line; the conversions and the codec never write the log themselves.
using LogLineFn = std::function<void(const QString&)>;

}  // namespace kolvane
