#pragma once

#include <QByteArray>

#include "settings/settings.h"

namespace kolvane {

// Addresses of jobs this system writes itself (file drop, command line). The recipient keeps
// the number as the first run of digits, "<sms@NUMBER.kolvane.lan>", so a job reader finds it
// there as in any mail address; nothing else in the address holds a digit.
inline QByteArray PseudoRecipient(const QByteArray& number) {
  return "<sms@" + number + '.' + QByteArray(kPseudoDomain) + '>';
}

// Sender of the file drop's jobs.
inline QByteArray SendUpSender() {
  return "<senduptxt@" + QByteArray(kPseudoDomain) + '>';
}

}  // namespace kolvane
