#pragma once

#include <iosfwd>

#include "card/job_progress.h"
#include "cli/arguments.h"

namespace velwin::cli {

// velwin-cli card write [--port PORT] [--json] [--unlock] [--no-backup]
// IMAGE: args are the words after "write". control carries the progress
// line and the cancel that SIGINT and SIGTERM request. Returns the exit
// code: 0 verified, 1 failed, 2 bad arguments, 130 cancelled.
int RunCardWriteCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                        card::JobControl& control);

}  // namespace velwin::cli
