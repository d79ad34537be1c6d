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
// concat, SM, ME.
std::optional<Injection> parseInjectLine(const QString& line, Storage storage, QString* error);
inline constexpr const char* kInjectLineHelp =
    "  NUMBER<TAB>TEXT[<TAB>FLAGS]  FLAGS: comma list of gsm, ucs2, 8bit, concat, SM, ME\n";

}  // namespace kolvane::modemsim
