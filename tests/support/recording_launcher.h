#pragma once

#include <string>
#include <vector>

#include "flashjob/tool_launcher.h"

namespace velwin::testing {

// A flash tool launcher that only remembers what it was asked to start, and
// answers with the failure a test sets.
class RecordingLauncher : public flash::ToolLauncher {
 public:
  struct Call {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDirectory;
  };
  std::error_code Start(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& workingDirectory) override {
    calls.push_back({program, arguments, workingDirectory});
    return failure;
  }
  std::vector<Call> calls;
  std::error_code failure;
};

}  // namespace velwin::testing
