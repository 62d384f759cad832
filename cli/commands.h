#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace velwin::cli {

// Each command gets its arguments after the command word and returns the
// process exit code.
using Arguments = std::vector<std::string>;

int RunInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int RunLookupCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int RunPatchCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int RunFlashCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int RunSramCommand(const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace velwin::cli
