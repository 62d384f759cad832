#pragma once

#include <string>
#include <vector>

namespace velwin::flash {

// Starts an external program without waiting for it. The program path is
// taken relative to workingDirectory; arguments are passed as they are (no
// shell, no pattern expansion). The result of the start is not examined by
// the flash job, so Start reports nothing.
class ToolLauncher {
 public:
  virtual ~ToolLauncher() = default;
  virtual void Start(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory) = 0;
};

// Starts the program as a detached child process of the system.
class ProcessToolLauncher : public ToolLauncher {
 public:
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory) override;
};

}  // namespace velwin::flash
