#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace kolvane {

// GSM alphabet to text: GSM 7-bit bytes (escape + code for the extension table) to UTF-8, each
// character as itself.
QByteArray GsmAlphabetToText(QByteArrayView gsm);

// Text-mode form: what is sent in the modem's text mode, where Ctrl-Z (Xi) would end the message
// and the modem cannot take escape sequences.
QByteArray TextModeForm(QByteArrayView gsm);

}  // namespace kolvane
