#include "log/stack_trace.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <array>
#include <cstdlib>
#include <memory>

namespace kolvane {

QString demangledFrame(const QString& frame) {
  const qsizetype open = frame.indexOf(QLatin1Char('('));
  const qsizetype plus = frame.indexOf(QLatin1Char('+'), open + 1);
  const qsizetype close = frame.indexOf(QLatin1Char(')'), open + 1);
  if (open < 0 || plus < 0 || close < plus || plus == open + 1) return frame;
  const QByteArray mangled = frame.mid(open + 1, plus - open - 1).toLatin1();
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(mangled.constData(), nullptr, nullptr, &status), &std::free);
  if (status != 0 || !name) return frame;
  return frame.left(open + 1) + QString::fromLatin1(name.get()) + frame.mid(plus);
}

QString currentStackTrace() {
  std::array<void*, 64> frames{};
  const int count = ::backtrace(frames.data(), static_cast<int>(frames.size()));
  if (count <= 0) return {};
  const std::unique_ptr<char*, decltype(&std::free)> symbols(
      ::backtrace_symbols(frames.data(), count), &std::free);
  if (!symbols) return {};
  QString out;
  // Frame 0 is this function.
  for (int i = 1; i < count; ++i) {
    out += demangledFrame(QString::fromLocal8Bit(symbols.get()[i])) + QStringLiteral("\r\n");
  }
  return out;
}

}  // namespace kolvane
