#include <ostream>

#include "cli/commands.h"

namespace velwin::cli {

// Placeholder until the command is built.
int RunInfoCommand(const Arguments&, std::ostream&, std::ostream& err) {
  err << "velwin-cli: 'info' is not available in this build\n";
  return 2;
}

}  // namespace velwin::cli
