#include "cli/port_arguments.h"

namespace velwin::cli {

bool TakeTraceOption(const Arguments& args, std::size_t& i, std::string& trace,
                     std::optional<std::string>& problem) {
  if (args[i] != "--trace")
    return false;
  if (i + 1 >= args.size() || args[i + 1].empty()) {
    problem = "--trace needs a FILE";
    return true;
  }
  trace = args[++i];
  return true;
}

}  // namespace velwin::cli
