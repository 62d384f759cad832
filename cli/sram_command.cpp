#include <ostream>

#include "cli/commands.h"

namespace velwin::cli {

// Placeholder until the command is built.
int RunSramCommand(const Arguments&, std::ostream&, std::ostream& err) {
  err << "velwin-cli: 'sram' is not available in this build\n";
  return 2;
}

}  // namespace velwin::cli
