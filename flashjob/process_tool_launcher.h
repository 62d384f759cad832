#pragma once

#include "flashjob/tool_launcher.h"

namespace velwin::flash {

// Starts the program as a detached child process of the system. A failed
// exec comes back as the system's error for it.
class ProcessToolLauncher : public ToolLauncher {
 public:
  std::error_code Start(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& workingDirectory) override;
};

}  // namespace velwin::flash
