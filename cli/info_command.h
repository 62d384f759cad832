#pragma once

#include <iosfwd>
#include <optional>

#include "cli/arguments.h"

namespace velwin::cli {

// velwin-cli info: runs the command on its arguments, writing to out and
// err; returns the process exit code.
int RunInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err);

// The same with the number of files read at once set (nullopt: as many as
// there are processors to read them, when they are all in memory).
int RunInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                   std::optional<unsigned> readers);

}  // namespace velwin::cli
