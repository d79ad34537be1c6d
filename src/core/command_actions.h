#pragma once

#include <optional>

#include "core/command_line.h"

namespace kolvane {

// --help, --version, a wrong command line, --status, --queue and the password tools are
// answered without a
// gateway: the exit code, or nullopt when the command line runs the program. The same for
// every program of the gateway.
std::optional<int> answerWithoutGateway(int argc, char** argv, const CommandLine& cl);

}  // namespace kolvane
