#pragma once

#include <string>
#include <system_error>
#include <vector>

namespace velwin::flash {

// Starts an external program without waiting for it. The program path is
// taken relative to workingDirectory; arguments are passed as they are (no
// shell, no pattern expansion). Start returns why the program could not be
// started (missing, not a regular file, not executable, the directory
// gone), or an empty code once it runs; what it does after that is its own
// affair and is not watched.
class ToolLauncher {
 public:
  virtual ~ToolLauncher() = default;
  virtual std::error_code Start(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& workingDirectory) = 0;
};

}  // namespace velwin::flash
