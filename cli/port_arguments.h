#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "cli/arguments.h"

namespace velwin::cli {

// "--trace FILE", taken by every command that opens a port: a trace of
// every port access goes to FILE when the port is closed, for a bug report.
// When args[i] is --trace, takes its value into trace (i moves onto it) and
// returns true, with problem set when the value is missing; otherwise
// returns false and changes nothing.
bool TakeTraceOption(const Arguments& args, std::size_t& i, std::string& trace,
                     std::optional<std::string>& problem);

}  // namespace velwin::cli
