#pragma once

#include <QString>

namespace kolvane {

// The calling thread's stack as glibc's backtrace sees it, one frame a line with C++ names
// demangled; empty when none can be had.
QString currentStackTrace();

// "module(mangled+0x1f) [0x…]" with the mangled name demangled; other lines unchanged.
QString demangledFrame(const QString& frame);

}  // namespace kolvane
