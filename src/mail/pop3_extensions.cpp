#include "mail/pop3_extensions.h"

#include <QList>
#include <algorithm>

namespace kolvane {

namespace {

std::optional<long long> decimal(const QByteArray& word) {
  if (word.isEmpty() ||
      !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  bool ok = false;
  const long long n = word.toLongLong(&ok);
  return ok ? std::optional(n) : std::nullopt;
}

}  // namespace

QByteArray Pop3CapaReply(bool stls) {
  QByteArray reply =
      "+OK Capability list follows\r\n"
      "USER\r\n"
      "UIDL\r\n"
      "TOP\r\n"
      "RESP-CODES\r\n"
      "PIPELINING\r\n";
  if (stls) reply += "STLS\r\n";
  return reply + '.';
}

std::optional<TopArguments> ParseTopArguments(const QByteArray& line) {
  QList<QByteArray> words = line.mid(3).simplified().split(' ');
  if (words.size() != 2) return std::nullopt;
  const auto message = decimal(words[0]);
  const auto lines = decimal(words[1]);
  if (!message || !lines) return std::nullopt;
  return TopArguments{*message, *lines};
}

QByteArray TopOfMessage(const QByteArray& message, long long bodyLines) {
  const qsizetype headerEnd = message.indexOf("\r\n\r\n");
  if (headerEnd < 0) return message;
  qsizetype end = headerEnd + 4;
  for (long long n = 0; n < bodyLines && end < message.size(); ++n) {
    const qsizetype lf = message.indexOf('\n', end);
    end = lf < 0 ? message.size() : lf + 1;
  }
  return message.left(end);
}

}  // namespace kolvane
