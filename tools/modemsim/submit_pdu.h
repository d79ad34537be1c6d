#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "modemsim/stored_sms.h"

namespace kolvane::modemsim {

// What an SMS-SUBMIT asks the network to deliver.
struct SubmitInfo {
  QString number;
  QString text;
  int dcs = 0;
  Coding coding = Coding::Gsm7;
  ConcatInfo concat;  // zeros for a single message
  bool statusReport = false;
};

// Alphabet of a data coding scheme; nullopt for compressed or reserved schemes.
std::optional<Coding> codingOfScheme(int dcs);

// Decodes a PDU written after the send prompt: service-centre field, then the SMS-SUBMIT whose
// octet count must equal tpduLength. On failure *error says why.
std::optional<SubmitInfo> decodeSubmit(const QByteArray& hex, int tpduLength, QString* error);

}  // namespace kolvane::modemsim
