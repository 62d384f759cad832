#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/arguments.h"

namespace velwin::cli {

// The arguments of a command that works on a list of files.
struct FileArguments {
  bool json = false;
  bool verify = false;
  std::vector<std::string> files;
  std::string unknownOption;  // the option that made the parse fail, if one did
};

// Takes "--json" and "--verify" (where the command offers them) and file
// names; "--" ends the options, for file names that begin with a dash. False
// for an unknown option or when no file is named.
bool ParseFileArguments(const Arguments& args, bool offersJson, FileArguments& parsed,
                        bool offersVerify = false);

// For arguments that did not parse: names the unknown option on err, if one
// was the cause ("velwin-cli: --fast: Unknown option"), then the usage.
// Returns the exit status of a usage error, 2.
int ReportUsageError(std::ostream& err, const FileArguments& parsed, const char* usage);

}  // namespace velwin::cli
