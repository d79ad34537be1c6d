#pragma once

#include <QByteArray>
#include <cstdint>

namespace kolvane {

// What a mail session expects of the client's next line. A dialogue that has just asked for a
// secret (an AUTH challenge "334 …" or "+ …") sets Secret, and sets Command again when it has
// taken the line.
enum class ClientLine : std::uint8_t { Command, Secret };

// A client line as traces may show it: a PASS argument, the initial response of an AUTH command
// and a line the session expects as a secret are replaced by "****" ("PASS ****",
// "AUTH PLAIN ****", "****"); every other line is returned as it came.
QByteArray MaskSecrets(const QByteArray& line, ClientLine expected);

}  // namespace kolvane
