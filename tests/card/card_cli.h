#pragma once

#include "cli/card_command.h"
#include "tests/support/command_run.h"

namespace velwin::card::testing {

using velwin::testing::CommandRun;

// velwin-cli card WORDS...
inline CommandRun Card(const cli::Arguments& words) {
  return velwin::testing::RunCommand(cli::RunCardCommand, words);
}

}  // namespace velwin::card::testing
