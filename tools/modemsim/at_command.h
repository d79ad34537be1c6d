#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace kolvane::modemsim {

struct AtParam {
  QByteArray value;  // without the quotes
  bool quoted = false;
};

// One command line split as the AT syntax has it: "AT" + basic command, or "AT+NAME" with
// "?" (read), "=?" (test), "=" parameters (set) or nothing (execute).
struct AtCommand {
  enum class Kind { Basic, Execute, Read, Test, Set, Malformed };
  QByteArray line;  // as received
  QByteArray name;  // upper case: "", "E0", "Z", "+CMGF", ...
  Kind kind = Kind::Basic;
  QList<AtParam> params;

  QByteArray param(qsizetype i) const { return i < params.size() ? params[i].value : QByteArray(); }
  bool quoted(qsizetype i) const { return i < params.size() && params[i].quoted; }
};

// nullopt when the line holds no "AT" (such lines are not commands at all).
std::optional<AtCommand> parseAtCommand(const QByteArray& line);

}  // namespace kolvane::modemsim
