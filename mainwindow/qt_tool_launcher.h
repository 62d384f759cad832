#pragma once

#include "flashjob/tool_launcher.h"

namespace velwin::mainwindow {

// Starts the flashing tool as a detached process in the scratch directory.
// A relative program such as "../veltra" is taken from that directory, as
// the tool's own command line expects; the arguments reach it unexpanded.
// A program that is missing or may not run is reported, not started.
class QtToolLauncher : public flash::ToolLauncher {
 public:
  std::error_code Start(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& workingDirectory) override;
};

}  // namespace velwin::mainwindow
