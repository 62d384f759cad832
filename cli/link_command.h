#pragma once

#include <iosfwd>

#include "cli/arguments.h"

namespace velwin::cli {

// velwin-cli link test: finds the X-Changer, checks the cable's data lines
// through the address registers, times the port and says which cards can
// be written over it. Returns the process exit code.
int RunLinkCommand(const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace velwin::cli
