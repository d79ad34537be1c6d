#pragma once

#include <QString>
#include <optional>

#include "modemsim/sms_builder.h"

namespace kolvane::modemsim {

// "NUMBER:TEXT" as given on the command line. Texts take the escapes \n, \t, \r, \\ and \xNN;
// in a concatenated message "|" separates the parts.
std::optional<Injection> parseSmsArgument(const QString& arg, Coding coding, bool concat,
                                          Storage storage, QString* error);

// One inject-file line: NUMBER<TAB>TEXT[<TAB>FLAGS], FLAGS a comma list of gsm, ucs2, 8bit,
// concat, SM, ME, alpha (the sender is a name), ref=N (concatenated with reference N, 16-bit
// above 255), age=S (the network stamped it S seconds ago), stamp=YYYY-MM-DDTHH:MM:SS (the
// network's time stamp), raw (TEXT is a listing entry as it stands after "+CMGL: INDEX,").
std::optional<Injection> parseInjectLine(const QString& line, Storage storage, QString* error);
inline constexpr const char* kInjectLineHelp =
    "  NUMBER<TAB>TEXT[<TAB>FLAGS]  FLAGS: comma list of gsm, ucs2, 8bit, concat, SM, ME,\n"
    "    alpha (sender is a name), ref=N (concatenated, reference N; 16-bit above 255),\n"
    "    age=S (the network stamped it S seconds ago),\n"
    "    stamp=YYYY-MM-DDTHH:MM:SS (the network's time stamp),\n"
    "    raw (TEXT is the listing entry as it stands after \"+CMGL: INDEX,\")\n";

}  // namespace kolvane::modemsim
