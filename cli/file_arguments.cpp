#include "cli/file_arguments.h"

#include <ostream>

#include "cli/file_failure.h"

namespace velwin::cli {

bool ParseFileArguments(const Arguments& args, bool offersJson, FileArguments& parsed,
                        bool offersVerify) {
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && offersJson && arg == "--json") {
      parsed.json = true;
    } else if (!optionsEnded && offersVerify && arg == "--verify") {
      parsed.verify = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      parsed.unknownOption = arg;
      return false;
    } else {
      parsed.files.push_back(arg);
    }
  }
  return !parsed.files.empty();
}

int ReportUsageError(std::ostream& err, const FileArguments& parsed, const char* usage) {
  if (!parsed.unknownOption.empty())
    ReportFileFailure(err, parsed.unknownOption, "Unknown option");
  err << usage;
  return 2;
}

}  // namespace velwin::cli
