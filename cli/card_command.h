#pragma once

#include <iosfwd>

#include "cli/arguments.h"

namespace velwin::cli {

// velwin-cli card: runs the card command named by the first argument on the
// rest, writing to out and err; returns the process exit code.
int RunCardCommand(const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace velwin::cli
