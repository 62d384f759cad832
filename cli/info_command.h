#pragma once

#include <iosfwd>

#include "cli/arguments.h"

namespace velwin::cli {

// velwin-cli info: runs the command on its arguments, writing to out and
// err; returns the process exit code.
int RunInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace velwin::cli
