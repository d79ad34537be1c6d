#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>

namespace kolvane {

// The byte replacement in force for "8-bit charset to GSM alphabet": each byte maps to one GSM
// byte, optionally preceded by an escape (27). Starts from the settings MailSmsInCh/MailSmsOutCh
// and is rebuilt from the built-in lists of a charset at each conversion.
struct CharReplacement {
  std::array<std::uint8_t, 256> ChReplTab{};
  std::array<bool, 256> ChEscTab{};
  QByteArray MailSmsInCh;
  QByteArray MailSmsOutCh;

  CharReplacement() { resetIdentity(); }

  void resetIdentity() {
    for (int i = 0; i < 256; ++i) ChReplTab[i] = static_cast<std::uint8_t>(i);
    ChEscTab.fill(false);
  }

  // Maps MailSmsInCh[k] to MailSmsOutCh[k] (a later position wins). Lists of unequal length
  // leave the identity and return false; the caller logs its own text.
  bool setFromLists(const QByteArray& in, const QByteArray& out) {
    MailSmsInCh = in;
    MailSmsOutCh = out;
    resetIdentity();
    if (in.size() != out.size()) return false;
    for (qsizetype k = 0; k < in.size(); ++k)
      ChReplTab[static_cast<std::uint8_t>(in[k])] = static_cast<std::uint8_t>(out[k]);
    return true;
  }
};

}  // namespace kolvane
