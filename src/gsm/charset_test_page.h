#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "context/char_replacement.h"

namespace kolvane {

// The diagnostic page of a charset's conversion to the GSM alphabet: the replacement tables in
// force and every byte whose conversion is worth a look, as 8-bit HTML text.
QByteArray CharsetTestPage(QByteArrayView charset, const CharReplacement& repl);

}  // namespace kolvane
