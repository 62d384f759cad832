#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace velwin::testing {

// What one velwin-cli command returned and printed, run in-process.
struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

// Runs a command's entry point (cli::RunCardCommand, cli::RunSramCommand,
// ...) on the words after the command word, as velwin-cli's main does.
template <typename Command>
CommandRun RunCommand(Command command, const std::vector<std::string>& words) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = command(words, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace velwin::testing
