#pragma once

#include <string_view>

#include "cli/arguments.h"

namespace velwin::cli {

// What `velwin-cli --help` prints: every command's synopsis, the options
// and the exit codes.
std::string_view MainHelp();

// What `velwin-cli COMMAND --help` prints; empty for a word that is no
// command.
std::string_view CommandHelp(std::string_view command);

// True when the command's arguments ask for help: "--help" or "-h" before
// any "--" (after it they are file names).
bool AsksForHelp(const Arguments& args);

}  // namespace velwin::cli
