#pragma once

#include <string>
#include <vector>

#include "mainwindow/flash/tool_launcher.h"

namespace velwin::testing {

// A flash tool launcher that only remembers what it was asked to start.
class RecordingLauncher : public flash::ToolLauncher {
 public:
  struct Call {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDirectory;
  };
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory) override {
    calls.push_back({program, arguments, workingDirectory});
  }
  std::vector<Call> calls;
};

}  // namespace velwin::testing
