#pragma once

#include <QByteArray>
#include <optional>

namespace kolvane {

// The answer to CAPA: what this server does, one capability a line, ended by ".". stls offers
// STLS (a connection in clear that could be encrypted).
QByteArray Pop3CapaReply(bool stls = false);

// The message number and the count of body lines of a "TOP n m" line; none when either is
// missing or not a number.
struct TopArguments {
  long long message = 0;
  long long lines = 0;
};
std::optional<TopArguments> ParseTopArguments(const QByteArray& line);

// The header of a rendered message, the empty line after it and its first lines of the body,
// each ended by CR LF.
QByteArray TopOfMessage(const QByteArray& message, long long bodyLines);

}  // namespace kolvane
