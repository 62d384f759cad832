#pragma once

#include <iosfwd>

#include "cli/arguments.h"

namespace velwin::cli {

// velwin-cli lookup: runs the command on its arguments, writing to out and
// err; returns the process exit code.
int RunLookupCommand(const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace velwin::cli
