#pragma once

#include <QByteArray>
#include <optional>

#include "settings/settings.h"

namespace kolvane {

// Addresses of jobs this system writes itself (file drop, command line). The recipient keeps
// the number as the first run of digits, "<sms@NUMBER.kolvane.lan>", so a job reader finds it
// there as in any mail address; nothing else in the address holds a digit.
inline QByteArray PseudoRecipient(const QByteArray& number) {
  return "<sms@" + number + '.' + QByteArray(kPseudoDomain) + '>';
}

// The number of a job this system wrote itself (PC "localhost", recipient in the form above):
// it stands whatever its length, so a short number such as 112 is not looked for in the
// subject instead. nullopt for any other job.
inline std::optional<QByteArray> OwnJobNumber(const QByteArray& namePC, const QByteArray& toe) {
  const QByteArray head = "<sms@";
  const QByteArray tail = '.' + QByteArray(kPseudoDomain) + '>';
  if (namePC != "localhost" || !toe.startsWith(head) || !toe.endsWith(tail)) return std::nullopt;
  const QByteArray number = toe.mid(head.size(), toe.size() - head.size() - tail.size());
  if (number.isEmpty()) return std::nullopt;
  for (qsizetype i = 0; i < number.size(); ++i) {
    const bool digit = number[i] >= '0' && number[i] <= '9';
    if (!digit && !(i == 0 && number[i] == '+')) return std::nullopt;
  }
  return number;
}

// Sender of the file drop's jobs.
inline QByteArray SendUpSender() {
  return "<senduptxt@" + QByteArray(kPseudoDomain) + '>';
}

}  // namespace kolvane
