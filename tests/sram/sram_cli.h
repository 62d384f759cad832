#pragma once

#include <string>

#include "cli/sram_command.h"
#include "tests/support/command_run.h"

namespace velwin::sramman::testing {

using velwin::testing::CommandRun;

// velwin-cli sram WORDS...
inline CommandRun Sram(const cli::Arguments& words) {
  return velwin::testing::RunCommand(cli::RunSramCommand, words);
}

// The path a load logged keeping the cart's old save in; empty without one.
inline std::string KeptSavePath(const std::string& out) {
  const std::string kept = "\u2022 Old save kept in ";
  const auto at = out.find(kept);
  if (at == std::string::npos)
    return {};
  const auto begin = at + kept.size();
  return out.substr(begin, out.find('\n', begin) - begin);
}

}  // namespace velwin::sramman::testing
