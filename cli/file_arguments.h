#pragma once

#include <string>
#include <vector>

#include "cli/arguments.h"

namespace velwin::cli {

// The arguments of a command that works on a list of files.
struct FileArguments {
  bool json = false;
  bool verify = false;
  std::vector<std::string> files;
};

// Takes "--json" and "--verify" (where the command offers them) and file
// names; "--" ends the options, for file names that begin with a dash. False
// for an unknown option or when no file is named.
bool ParseFileArguments(const Arguments& args, bool offersJson, FileArguments& parsed,
                        bool offersVerify = false);

}  // namespace velwin::cli
