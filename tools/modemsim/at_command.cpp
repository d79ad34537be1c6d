#include "modemsim/at_command.h"

#include <cctype>

namespace kolvane::modemsim {
namespace {

// Parameters are separated by commas outside double quotes; an unclosed quote is malformed.
std::optional<QList<AtParam>> splitParams(const QByteArray& text) {
  QList<AtParam> params;
  AtParam current;
  bool inQuotes = false;
  bool closed = false;  // the current parameter's closing quote has been seen
  const auto finish = [&] {
    if (!current.quoted) current.value = current.value.trimmed();
    params.append(current);
    current = {};
    closed = false;
  };
  for (const char c : text) {
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
        closed = true;
      } else {
        current.value.append(c);
      }
    } else if (c == ',') {
      finish();
    } else if (c == '"') {
      if (closed || !current.value.trimmed().isEmpty()) return std::nullopt;
      current = {{}, true};
      inQuotes = true;
    } else if (closed) {
      if (c != ' ') return std::nullopt;
    } else {
      current.value.append(c);
    }
  }
  if (inQuotes) return std::nullopt;
  finish();
  return params;
}

}  // namespace

std::optional<AtCommand> parseAtCommand(const QByteArray& line) {
  // A modem looks for the "AT" that begins a command; what came before it (an ESC, noise) is
  // dropped.
  const qsizetype at = line.toUpper().indexOf("AT");
  if (at < 0) return std::nullopt;
  const QByteArray text = line.mid(at).trimmed();
  AtCommand cmd;
  cmd.line = line;
  const QByteArray rest = text.mid(2);
  if (!rest.startsWith('+')) {
    cmd.name = rest.toUpper();
    return cmd;
  }
  qsizetype end = 1;
  while (end < rest.size() && std::isalnum(static_cast<unsigned char>(rest[end]))) ++end;
  cmd.name = rest.left(end).toUpper();
  const QByteArray tail = rest.mid(end);
  if (tail.isEmpty()) {
    cmd.kind = AtCommand::Kind::Execute;
  } else if (tail == "?") {
    cmd.kind = AtCommand::Kind::Read;
  } else if (tail == "=?") {
    cmd.kind = AtCommand::Kind::Test;
  } else if (tail.startsWith('=')) {
    const auto params = splitParams(tail.mid(1));
    cmd.kind = params ? AtCommand::Kind::Set : AtCommand::Kind::Malformed;
    if (params) cmd.params = *params;
  } else {
    cmd.kind = AtCommand::Kind::Malformed;
  }
  return cmd;
}

}  // namespace kolvane::modemsim
